// __chkstk: the stack probe that clang calls on ARM64 Windows before it moves
// sp down by a frame of 4 KB or more. Windows commits a thread's stack one
// guard page at a time, so every page of the new frame is read once, top to
// bottom, never skipping one and never reading below the frame.
// In: x15 = the frame's size / 16. Changes only x16, x17 and the flags.
        .text
        .p2align 2
        .globl  __chkstk
#ifdef __ELF__
        .type   __chkstk, %function
#else
        .def    __chkstk
        .scl    2
        .type   32
        .endef
#endif
__chkstk:
        lsl     x16, x15, #4            // bytes still to probe
        mov     x17, sp
1:      cmp     x16, #4096
        b.ls    2f                      // the rest lies within one page
        sub     x17, x17, #4096
        sub     x16, x16, #4096
        ldr     xzr, [x17]
        b       1b
2:      sub     x17, x17, x16
        ldr     xzr, [x17]              // the frame's lowest byte
        ret

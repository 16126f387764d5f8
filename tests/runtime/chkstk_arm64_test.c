/* The stack probe of the ARM64 plug-ins (framework/runtime/chkstk_arm64.S),
 * run as a bare ARM64 Linux program under qemu-aarch64: the pages below a
 * stack of its own are unreadable, and a fault handler records the first
 * address read in each and opens it. For every frame size and stack position,
 * each page below the one sp is in, down to the frame's lowest byte, must be
 * read once, top to bottom, nothing below the frame, and every register but
 * x16 and x17 must come back as it went in. Exit status 0 when all hold. */
#include <stddef.h>
#include <stdint.h>

enum { Page = 4096, ClosedPages = 40, Registers = 28 };

static long Syscall(long n, long a, long b, long c, long d) {
  register long x8 __asm__("x8") = n;
  register long x0 __asm__("x0") = a;
  register long x1 __asm__("x1") = b;
  register long x2 __asm__("x2") = c;
  register long x3 __asm__("x3") = d;
  __asm__ volatile("svc #0" : "+r"(x0) : "r"(x8), "r"(x1), "r"(x2), "r"(x3) : "memory");
  return x0;
}
static void Exit(int status) {
  for (;;) Syscall(94, status, 0, 0, 0); /* exit_group */
}
static void Say(const char* text) {
  size_t n = 0;
  while (text[n]) ++n;
  Syscall(64, 1, (long)text, (long)n, 0); /* write */
}
static void SayNumber(uint64_t v) {
  char text[24];
  int i = 23;
  text[i] = 0;
  do text[--i] = (char)('0' + v % 10); while (v /= 10);
  Say(text + i);
}
static int Protect(uintptr_t at, size_t bytes, int prot) { return (int)Syscall(226, (long)at, (long)bytes, prot, 0); }

/* Calls __chkstk with sp at newSp and x15 = units, every other register set to
 * a pattern, and stores x0..x15, x18..x28 and sp after the call into out. */
void RunProbe(uintptr_t newSp, uint64_t units, uint64_t* out);
void SignalReturn(void);
__asm__(
    ".text\n.globl RunProbe\nRunProbe:\n"
    "  stp x29, x30, [sp, #-96]!\n  stp x19, x20, [sp, #16]\n  stp x21, x22, [sp, #32]\n"
    "  stp x23, x24, [sp, #48]\n  stp x25, x26, [sp, #64]\n  stp x27, x28, [sp, #80]\n"
    "  adrp x16, Saved\n  add x16, x16, :lo12:Saved\n  mov x17, sp\n  stp x17, x2, [x16]\n"
    "  mov sp, x0\n  mov x15, x1\n"
    "  mov x0, #0x100\n  mov x1, #0x101\n  mov x2, #0x102\n  mov x3, #0x103\n  mov x4, #0x104\n"
    "  mov x5, #0x105\n  mov x6, #0x106\n  mov x7, #0x107\n  mov x8, #0x108\n  mov x9, #0x109\n"
    "  mov x10, #0x10a\n  mov x11, #0x10b\n  mov x12, #0x10c\n  mov x13, #0x10d\n  mov x14, #0x10e\n"
    "  mov x18, #0x112\n  mov x19, #0x113\n  mov x20, #0x114\n  mov x21, #0x115\n  mov x22, #0x116\n"
    "  mov x23, #0x117\n  mov x24, #0x118\n  mov x25, #0x119\n  mov x26, #0x11a\n  mov x27, #0x11b\n"
    "  mov x28, #0x11c\n"
    "  bl __chkstk\n"
    "  adrp x16, Saved\n  add x16, x16, :lo12:Saved\n  ldr x17, [x16, #8]\n"
    "  stp x0, x1, [x17, #0]\n  stp x2, x3, [x17, #16]\n  stp x4, x5, [x17, #32]\n"
    "  stp x6, x7, [x17, #48]\n  stp x8, x9, [x17, #64]\n  stp x10, x11, [x17, #80]\n"
    "  stp x12, x13, [x17, #96]\n  stp x14, x15, [x17, #112]\n  stp x18, x19, [x17, #128]\n"
    "  stp x20, x21, [x17, #144]\n  stp x22, x23, [x17, #160]\n  stp x24, x25, [x17, #176]\n"
    "  stp x26, x27, [x17, #192]\n  mov x0, sp\n  stp x28, x0, [x17, #208]\n"
    "  ldr x17, [x16]\n  mov sp, x17\n"
    "  ldp x19, x20, [sp, #16]\n  ldp x21, x22, [sp, #32]\n  ldp x23, x24, [sp, #48]\n"
    "  ldp x25, x26, [sp, #64]\n  ldp x27, x28, [sp, #80]\n  ldp x29, x30, [sp], #96\n  ret\n"
    ".globl SignalReturn\nSignalReturn:\n  mov x8, #139\n  svc #0\n"
    ".data\n.p2align 3\nSaved:\n  .quad 0, 0\n.text\n");

static uintptr_t Region;  /* ClosedPages unreadable pages, then two open ones */
static uintptr_t Reads[ClosedPages + 1];
static int ReadCount;

static void OnFault(int signal, void* info, void* context) {
  (void)signal;
  (void)context;
  uintptr_t at = *(uintptr_t*)((char*)info + 16); /* si_addr */
  if (at < Region || at >= Region + ClosedPages * Page || ReadCount == ClosedPages + 1) {
    Say("chkstk: a fault outside the probed pages\n");
    Exit(3);
  }
  Reads[ReadCount++] = at;
  Protect(at & ~(uintptr_t)(Page - 1), Page, 3);
}

static int Check(uintptr_t sp, uint64_t bytes) {
  uint64_t regs[Registers];
  ReadCount = 0;
  Protect(Region, ClosedPages * Page, 0);
  RunProbe(sp, bytes / 16, regs);
  int bad = 0;
  for (int r = 0; r < Registers - 1; ++r) {
    int n = r < 16 ? r : r + 2;
    uint64_t want = n == 15 ? bytes / 16 : 0x100u + (unsigned)n;
    if (regs[r] != want) bad = 1;
  }
  if (regs[Registers - 1] != sp) bad = 1;
  const uintptr_t lowest = sp - bytes;
  const uintptr_t spPage = sp & ~(uintptr_t)(Page - 1);
  const uintptr_t lowPage = lowest & ~(uintptr_t)(Page - 1);
  int expected = lowPage < spPage ? (int)((spPage - lowPage) / Page) : 0;
  if (ReadCount != expected) bad = 1;
  for (int i = 0; i < ReadCount && !bad; ++i) {
    uintptr_t page = spPage - (uintptr_t)(i + 1) * Page;  /* top to bottom */
    if ((Reads[i] & ~(uintptr_t)(Page - 1)) != page || Reads[i] < lowest) bad = 1;
  }
  if (bad) {
    Say("chkstk: wrong for a frame of ");
    SayNumber(bytes);
    Say(" bytes at sp = page + ");
    SayNumber(sp - spPage);
    Say("\n");
  }
  return bad;
}

void _start(void) {
  static uint8_t altStack[16384] __attribute__((aligned(16)));
  struct {
    void* sp;
    int flags;
    size_t size;
  } alt = {altStack, 0, sizeof altStack};
  struct {
    void (*handler)(int, void*, void*);
    unsigned long flags;
    void (*restorer)(void);
    unsigned long mask;
  } action = {OnFault, 0x4 | 0x08000000 | 0x04000000, SignalReturn, 0}; /* SIGINFO, ONSTACK, RESTORER */
  Region = (uintptr_t)Syscall(222, 0, (ClosedPages + 2) * Page, 3, 0x22); /* mmap, private anonymous */
  if (Region > (uintptr_t)-4096 || Syscall(132, (long)&alt, 0, 0, 0) || Syscall(134, 11, (long)&action, 0, 8)) {
    Say("chkstk: no test stack\n");
    Exit(2);
  }
  const uintptr_t top = Region + ClosedPages * Page;  /* the first open page */
  static const uint64_t sizes[] = {16, 4080, 4096, 4112, 8192, 8208, 12288 + 1024, 65536, 36 * Page + 48};
  static const uintptr_t offsets[] = {0, 16, 2048, Page - 16};
  int failed = 0;
  for (size_t s = 0; s < sizeof sizes / sizeof *sizes; ++s)
    for (size_t o = 0; o < sizeof offsets / sizeof *offsets; ++o) failed |= Check(top + offsets[o], sizes[s]);
  Say(failed ? "chkstk: FAILED\n" : "chkstk: every page of every frame probed, top to bottom\n");
  Exit(failed);
}

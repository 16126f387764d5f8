// Test-only fault injection: a test asks that the n-th coming call of one kind
// of platform operation fail, to drive the failure paths that a healthy machine
// never takes. Compiled out unless SPI_FAULT_INJECTION is defined.
#pragma once

namespace platform {

enum FaultKind {
  FaultAlloc,     // BlockAlloc, BlockRealloc
  FaultLock,      // BlockLock
  FaultMap,       // MapExisting, MapNew, MapHostHandle
  FaultTempFile,  // CreateTempFile
  FaultWrite,     // FlushMapped (writing a mapped view back to its file)
  FaultRename,    // ReplaceFile
  FaultMapQuery,  // asking the kernel for one mapping (POSIX): answered as an older kernel does
  FaultKindCount
};

#ifdef SPI_FAULT_INJECTION
// Each kind has one countdown; the state is per copy of the platform layer
// (a test executable or one plug-in), as every copy links its own.
inline int faultCountdown[FaultKindCount] = {};

// The n-th call of kind from now on fails (n = 1: the next one); once.
inline void FailNth(FaultKind kind, int n) { faultCountdown[kind] = n > 0 ? n : 0; }
inline void ClearFaults() {
  for (int& c : faultCountdown) c = 0;
}
// Called by the platform operations: true when this call is to fail.
inline bool InjectedFault(FaultKind kind) {
  if (faultCountdown[kind] == 0) return false;
  return --faultCountdown[kind] == 0;
}
#else
inline bool InjectedFault(FaultKind) { return false; }
#endif

}  // namespace platform

// What a module does when the host unloads it (clear NAME, clear mex): the
// memory it keeps between calls goes back to the system then, not at exit.
#ifndef QMV_MEXGLUE_MODULE_UNLOAD_H
#define QMV_MEXGLUE_MODULE_UNLOAD_H

namespace NMexGlue {

// Registers with the host (mexAtExit) that, at unload, fnRelease runs (if
// given) and the allocator returns the freed blocks of every thread's heap.
// Called at the start of every call: registering again is harmless.
void ReleaseAtUnload(void (*fnRelease)() = nullptr);

}  // namespace NMexGlue

#endif

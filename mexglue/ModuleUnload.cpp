// The unload hook. Worker threads allocate from heaps of their own, whose
// freed blocks the allocator keeps unless asked to trim them; without the
// trim a module's scratch would stay resident after the module is gone.
#include "mexglue/ModuleUnload.h"

#include "mex.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace NMexGlue {

namespace {

void (*s_fnRelease)() = nullptr;

void OnUnload()
{
    if (s_fnRelease != nullptr) s_fnRelease();
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace

void ReleaseAtUnload(void (*fnRelease)())
{
    s_fnRelease = fnRelease;
    mexAtExit(OnUnload);
}

}  // namespace NMexGlue

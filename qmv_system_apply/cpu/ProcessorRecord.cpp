// Creates the library's processor record when the module is loaded. The
// record's constructor swallows any failure: nothing may propagate out of
// static initialisation, which would abort the host while loading.
#include "QELLib/CSingleton.h"

namespace {
const CProcessorRecordAtLoad s_processorRecordAtLoad;
}

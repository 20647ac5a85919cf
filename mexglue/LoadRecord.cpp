// Creates the library's processor record while the host loads a module. A
// module lists this file among its own sources (a static library's object
// that nothing references would be left out of the link). The record's
// constructor swallows any failure: nothing may propagate out of static
// initialisation, which would abort the host while loading.
#include "QELLib/CSingleton.h"

namespace {
const CProcessorRecordAtLoad s_processorRecordAtLoad;
}

// Load-time work of the module: the library's processor record is created
// once while the host loads the module; nothing reads it afterwards.
#include "QELLib/CSingleton.h"

namespace {
const CProcessorRecordAtLoad s_processorRecordAtLoad;
}

// Creates the library's processor record when the module is loaded.
#include "QELLib/CSingleton.h"

static const CProcessorRecordAtLoad s_processorRecordAtLoad;

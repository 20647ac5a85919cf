// The whole in-house image and memory library in one include.
#ifndef QELLIB_QEL_H
#define QELLIB_QEL_H

#include "QELLib/NException.h"
#include "QELLib/NMemAlloc.h"
#include "QELLib/NImage.h"
#include "QELLib/NColor.h"
#include "QELLib/NSmallVector.h"
#include "QELLib/CSingleton.h"

#endif // QELLIB_QEL_H

// The stand-in host's implementation of the MEX and matrix API.
#include "mex_standin.h"
#include "standin_state.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace {

using NMexStandIn::CHostError;
using NMexStandIn::SState;
using NMexStandIn::State;

[[noreturn]] void Misuse(const char* sWhat)
{
    std::fprintf(stderr, "stand-in host: invalid use of the host API: %s\n", sWhat);
    std::abort();
}

void NoteHostCall()
{
    SState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.bInCall && std::this_thread::get_id() != s.caller) ++s.offThread;
}

size_t ElementSize(mxClassID id)
{
    switch (id) {
        case mxDOUBLE_CLASS:
        case mxINT64_CLASS:
        case mxUINT64_CLASS:
            return 8;
        case mxSINGLE_CLASS:
        case mxINT32_CLASS:
        case mxUINT32_CLASS:
            return 4;
        case mxINT16_CLASS:
        case mxUINT16_CLASS:
        case mxCHAR_CLASS:
            return 2;
        case mxINT8_CLASS:
        case mxUINT8_CLASS:
        case mxLOGICAL_CLASS:
            return 1;
        case mxCELL_CLASS:
        case mxSTRUCT_CLASS:
            return sizeof(mxArray*);
        default:
            return 0;
    }
}

size_t Count(const std::vector<mwSize>& vDims)
{
    size_t n = 1;
    for (mwSize d : vDims) n *= d;
    return n;
}

// MATLAB keeps at least two dimensions and drops trailing singleton ones.
std::vector<mwSize> NormalisedDims(mwSize nDims, const mwSize* pDims)
{
    std::vector<mwSize> v(pDims, pDims + nDims);
    while (v.size() < 2) v.push_back(v.empty() ? 0 : 1);
    while (v.size() > 2 && v.back() == 1) v.pop_back();
    return v;
}

mxArray* Register(mxArray* pa)
{
    NoteHostCall();
    SState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.live.insert(pa);
    if (s.bInCall) s.createdInCall.push_back(pa);
    return pa;
}

void* ZeroedBlock(size_t n, size_t size)
{
    if (n == 0 || size == 0) return nullptr;
    void* p = std::calloc(n, size);
    if (!p) throw std::bad_alloc();
    return p;
}

mxArray* NewArray(mxClassID id, std::vector<mwSize> vDims, bool bComplex)
{
    auto* pa = new mxArray;
    pa->classId = id;
    pa->vDims = std::move(vDims);
    pa->bComplex = bComplex;
    pa->iElemSize = ElementSize(id);
    const size_t n = Count(pa->vDims);
    if (id == mxCELL_CLASS) {
        pa->vCells.assign(n, nullptr);
    } else if (id != mxSTRUCT_CLASS) {
        pa->pReal = ZeroedBlock(n, pa->iElemSize);
        if (bComplex) pa->pImag = ZeroedBlock(n, pa->iElemSize);
    }
    return Register(pa);
}

void Adopt(mxArray* pParent, mxArray* pChild)
{
    if (!pChild) return;
    if (pChild->pParent) Misuse("array placed into two containers");
    pChild->pParent = pParent;
}

void CheckArray(const mxArray* pa)
{
    if (!pa) Misuse("null array");
}

template <typename T>
double ReadAsDouble(const void* p)
{
    return static_cast<double>(*static_cast<const T*>(p));
}

}  // namespace

extern "C" {

void mexErrMsgTxt(const char* sText)
{
    NoteHostCall();
    throw CHostError(sText ? sText : "");
}

void mexErrMsgIdAndTxt(const char*, const char* sFormat, ...)
{
    char buffer[4096];
    va_list args;
    va_start(args, sFormat);
    std::vsnprintf(buffer, sizeof buffer, sFormat, args);
    va_end(args);
    mexErrMsgTxt(buffer);
}

void mexWarnMsgTxt(const char* sText) { mexPrintf("Warning: %s\n", sText); }

int mexPrintf(const char* sFormat, ...)
{
    NoteHostCall();
    va_list args;
    va_start(args, sFormat);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, sFormat, copy);
    va_end(copy);
    std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(&text[0], text.size() + 1, sFormat, args);
    va_end(args);
    SState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.printed += text;
    return n;
}

int mexEvalString(const char* sCommand)
{
    NoteHostCall();
    SState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.evals.emplace_back(sCommand ? sCommand : "");
    return 0;
}

int mexAtExit(void (*fnExit)(void))
{
    NoteHostCall();
    SState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.fnAtExit = fnExit;
    return 0;
}

bool mxIsDouble(const mxArray* pa)
{
    CheckArray(pa);
    return pa->classId == mxDOUBLE_CLASS;
}
bool mxIsSingle(const mxArray* pa)
{
    CheckArray(pa);
    return pa->classId == mxSINGLE_CLASS;
}
bool mxIsComplex(const mxArray* pa)
{
    CheckArray(pa);
    return pa->bComplex;
}
bool mxIsSparse(const mxArray* pa)
{
    CheckArray(pa);
    return pa->bSparse;
}
bool mxIsNumeric(const mxArray* pa)
{
    CheckArray(pa);
    return pa->classId >= mxDOUBLE_CLASS && pa->classId <= mxUINT64_CLASS;
}
bool mxIsEmpty(const mxArray* pa)
{
    CheckArray(pa);
    return Count(pa->vDims) == 0;
}
bool mxIsStruct(const mxArray* pa)
{
    CheckArray(pa);
    return pa->classId == mxSTRUCT_CLASS;
}
bool mxIsCell(const mxArray* pa)
{
    CheckArray(pa);
    return pa->classId == mxCELL_CLASS;
}
bool mxIsLogical(const mxArray* pa)
{
    CheckArray(pa);
    return pa->classId == mxLOGICAL_CLASS;
}
bool mxIsChar(const mxArray* pa)
{
    CheckArray(pa);
    return pa->classId == mxCHAR_CLASS;
}
bool mxIsFinite(double v) { return std::isfinite(v); }
bool mxIsNaN(double v) { return std::isnan(v); }
bool mxIsInf(double v) { return std::isinf(v); }
double mxGetNaN(void) { return std::numeric_limits<double>::quiet_NaN(); }
double mxGetInf(void) { return std::numeric_limits<double>::infinity(); }
double mxGetEps(void) { return std::numeric_limits<double>::epsilon(); }

mxClassID mxGetClassID(const mxArray* pa)
{
    CheckArray(pa);
    return pa->classId;
}

const char* mxGetClassName(const mxArray* pa)
{
    static const char* const names[] = {"unknown", "cell",   "struct", "logical", "char",           "void",
                                        "double",  "single", "int8",   "uint8",   "int16",          "uint16",
                                        "int32",   "uint32", "int64",  "uint64",  "function_handle"};
    CheckArray(pa);
    return names[pa->classId];
}

mwSize mxGetNumberOfDimensions(const mxArray* pa)
{
    CheckArray(pa);
    return pa->vDims.size();
}
const mwSize* mxGetDimensions(const mxArray* pa)
{
    CheckArray(pa);
    return pa->vDims.data();
}
size_t mxGetNumberOfElements(const mxArray* pa)
{
    CheckArray(pa);
    return Count(pa->vDims);
}
size_t mxGetM(const mxArray* pa)
{
    CheckArray(pa);
    return pa->vDims[0];
}
size_t mxGetN(const mxArray* pa)
{
    CheckArray(pa);
    return Count(std::vector<mwSize>(pa->vDims.begin() + 1, pa->vDims.end()));
}
size_t mxGetElementSize(const mxArray* pa)
{
    CheckArray(pa);
    return pa->iElemSize;
}

double mxGetScalar(const mxArray* pa)
{
    CheckArray(pa);
    if (!pa->pReal) return 0.0;
    switch (pa->classId) {
        case mxDOUBLE_CLASS:
            return ReadAsDouble<double>(pa->pReal);
        case mxSINGLE_CLASS:
            return ReadAsDouble<float>(pa->pReal);
        case mxINT8_CLASS:
            return ReadAsDouble<int8_t>(pa->pReal);
        case mxUINT8_CLASS:
            return ReadAsDouble<uint8_t>(pa->pReal);
        case mxINT16_CLASS:
            return ReadAsDouble<int16_t>(pa->pReal);
        case mxUINT16_CLASS:
            return ReadAsDouble<uint16_t>(pa->pReal);
        case mxINT32_CLASS:
            return ReadAsDouble<int32_t>(pa->pReal);
        case mxUINT32_CLASS:
            return ReadAsDouble<uint32_t>(pa->pReal);
        case mxINT64_CLASS:
            return ReadAsDouble<int64_t>(pa->pReal);
        case mxUINT64_CLASS:
            return ReadAsDouble<uint64_t>(pa->pReal);
        case mxLOGICAL_CLASS:
            return ReadAsDouble<bool>(pa->pReal);
        case mxCHAR_CLASS:
            return ReadAsDouble<char16_t>(pa->pReal);
        default:
            return 0.0;
    }
}

double* mxGetPr(const mxArray* pa)
{
    CheckArray(pa);
    return static_cast<double*>(pa->pReal);
}
double* mxGetPi(const mxArray* pa)
{
    CheckArray(pa);
    return static_cast<double*>(pa->pImag);
}
void* mxGetData(const mxArray* pa)
{
    CheckArray(pa);
    return pa->pReal;
}
void* mxGetImagData(const mxArray* pa)
{
    CheckArray(pa);
    return pa->pImag;
}
mwIndex* mxGetIr(const mxArray* pa)
{
    CheckArray(pa);
    return pa->pIr;
}
mwIndex* mxGetJc(const mxArray* pa)
{
    CheckArray(pa);
    return pa->pJc;
}
mwSize mxGetNzmax(const mxArray* pa)
{
    CheckArray(pa);
    return pa->iNzmax;
}

int mxGetNumberOfFields(const mxArray* pa)
{
    CheckArray(pa);
    return static_cast<int>(pa->vFieldNames.size());
}

int mxGetFieldNumber(const mxArray* pa, const char* sName)
{
    CheckArray(pa);
    if (pa->classId != mxSTRUCT_CLASS || !sName) return -1;
    for (size_t f = 0; f < pa->vFieldNames.size(); ++f)
        if (pa->vFieldNames[f] == sName) return static_cast<int>(f);
    return -1;
}

const char* mxGetFieldNameByNumber(const mxArray* pa, int iField)
{
    CheckArray(pa);
    if (iField < 0 || static_cast<size_t>(iField) >= pa->vFieldNames.size()) return nullptr;
    return pa->vFieldNames[iField].c_str();
}

mxArray* mxGetFieldByNumber(const mxArray* pa, mwIndex i, int iField)
{
    CheckArray(pa);
    if (pa->classId != mxSTRUCT_CLASS || iField < 0 || static_cast<size_t>(iField) >= pa->vFieldNames.size() ||
        i >= Count(pa->vDims))
        return nullptr;
    return pa->vFieldValues[i * pa->vFieldNames.size() + iField];
}

mxArray* mxGetField(const mxArray* pa, mwIndex i, const char* sName)
{
    return mxGetFieldByNumber(pa, i, mxGetFieldNumber(pa, sName));
}

mxArray* mxGetCell(const mxArray* pa, mwIndex i)
{
    CheckArray(pa);
    if (pa->classId != mxCELL_CLASS) Misuse("mxGetCell on an array that is not a cell");
    if (i >= pa->vCells.size()) Misuse("mxGetCell index beyond the cell's end");
    return pa->vCells[i];
}

mxArray* mxCreateNumericArray(mwSize nDims, const mwSize* pDims, mxClassID classId, mxComplexity complexity)
{
    if (classId < mxLOGICAL_CLASS || classId == mxVOID_CLASS || classId > mxUINT64_CLASS)
        Misuse("mxCreateNumericArray with a class that is not numeric");
    return NewArray(classId, NormalisedDims(nDims, pDims), complexity == mxCOMPLEX);
}

mxArray* mxCreateUninitNumericArray(mwSize nDims, mwSize* pDims, mxClassID classId, mxComplexity complexity)
{
    mxArray* pa = mxCreateNumericArray(nDims, pDims, classId, complexity);
    // Real hosts leave the contents undefined; all ones (a NaN for doubles)
    // makes a module that reads an element it did not write fail its tests.
    const size_t iBytes = Count(pa->vDims) * pa->iElemSize;
    if (pa->pReal) std::memset(pa->pReal, 0xFF, iBytes);
    if (pa->pImag) std::memset(pa->pImag, 0xFF, iBytes);
    return pa;
}

mxArray* mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classId, mxComplexity complexity)
{
    const mwSize dims[2] = {m, n};
    return mxCreateNumericArray(2, dims, classId, complexity);
}

mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity complexity)
{
    return mxCreateNumericMatrix(m, n, mxDOUBLE_CLASS, complexity);
}

mxArray* mxCreateDoubleScalar(double v)
{
    mxArray* pa = mxCreateDoubleMatrix(1, 1, mxREAL);
    *mxGetPr(pa) = v;
    return pa;
}

mxArray* mxCreateLogicalMatrix(mwSize m, mwSize n) { return NewArray(mxLOGICAL_CLASS, {m, n}, false); }

mxArray* mxCreateLogicalScalar(bool v)
{
    mxArray* pa = mxCreateLogicalMatrix(1, 1);
    *static_cast<bool*>(pa->pReal) = v;
    return pa;
}

// The characters of a char array, one byte each, in a block the caller frees
// with mxFree; null for any other class.
char* mxArrayToString(const mxArray* pa)
{
    CheckArray(pa);
    if (pa->classId != mxCHAR_CLASS) return nullptr;
    const size_t n = Count(pa->vDims);
    char* s = static_cast<char*>(std::malloc(n + 1));
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(static_cast<const char16_t*>(pa->pReal)[i]);
    s[n] = '\0';
    return s;
}

mxArray* mxCreateString(const char* s)
{
    const size_t n = s ? std::strlen(s) : 0;
    mxArray* pa = NewArray(mxCHAR_CLASS, {n ? 1u : 0u, n}, false);
    for (size_t i = 0; i < n; ++i) static_cast<char16_t*>(pa->pReal)[i] = static_cast<unsigned char>(s[i]);
    return pa;
}

mxArray* mxCreateSparse(mwSize m, mwSize n, mwSize nzmax, mxComplexity complexity)
{
    auto* pa = new mxArray;
    pa->classId = mxDOUBLE_CLASS;
    pa->vDims = {m, n};
    pa->bSparse = true;
    pa->bComplex = complexity == mxCOMPLEX;
    pa->iElemSize = sizeof(double);
    pa->iNzmax = std::max<mwSize>(nzmax, 1);
    pa->pReal = ZeroedBlock(pa->iNzmax, sizeof(double));
    if (pa->bComplex) pa->pImag = ZeroedBlock(pa->iNzmax, sizeof(double));
    pa->pIr = static_cast<mwIndex*>(ZeroedBlock(pa->iNzmax, sizeof(mwIndex)));
    pa->pJc = static_cast<mwIndex*>(ZeroedBlock(n + 1, sizeof(mwIndex)));
    return Register(pa);
}

mxArray* mxCreateCellArray(mwSize nDims, const mwSize* pDims)
{
    return NewArray(mxCELL_CLASS, NormalisedDims(nDims, pDims), false);
}

mxArray* mxCreateCellMatrix(mwSize m, mwSize n)
{
    const mwSize dims[2] = {m, n};
    return mxCreateCellArray(2, dims);
}

mxArray* mxCreateStructArray(mwSize nDims, const mwSize* pDims, int nFields, const char** ppNames)
{
    mxArray* pa = NewArray(mxSTRUCT_CLASS, NormalisedDims(nDims, pDims), false);
    for (int f = 0; f < nFields; ++f) pa->vFieldNames.emplace_back(ppNames[f]);
    pa->vFieldValues.assign(Count(pa->vDims) * pa->vFieldNames.size(), nullptr);
    return pa;
}

mxArray* mxCreateStructMatrix(mwSize m, mwSize n, int nFields, const char** ppNames)
{
    const mwSize dims[2] = {m, n};
    return mxCreateStructArray(2, dims, nFields, ppNames);
}

int mxAddField(mxArray* pa, const char* sName)
{
    CheckArray(pa);
    if (pa->classId != mxSTRUCT_CLASS || !sName) return -1;
    const int existing = mxGetFieldNumber(pa, sName);
    if (existing >= 0) return existing;
    const size_t oldFields = pa->vFieldNames.size();
    std::vector<mxArray*> values;
    for (size_t e = 0; e < Count(pa->vDims); ++e) {
        for (size_t f = 0; f < oldFields; ++f) values.push_back(pa->vFieldValues[e * oldFields + f]);
        values.push_back(nullptr);
    }
    pa->vFieldNames.emplace_back(sName);
    pa->vFieldValues = std::move(values);
    return static_cast<int>(oldFields);
}

void mxSetField(mxArray* pa, mwIndex i, const char* sName, mxArray* pValue)
{
    CheckArray(pa);
    const int f = mxAddField(pa, sName);  // the stand-in adds a missing field, for test convenience
    if (f < 0 || i >= Count(pa->vDims)) Misuse("mxSetField outside the struct");
    mxArray*& slot = pa->vFieldValues[i * pa->vFieldNames.size() + f];
    if (slot && slot != pValue) mxDestroyArray(slot);
    slot = pValue;
    Adopt(pa, pValue);
}

void mxSetCell(mxArray* pa, mwIndex i, mxArray* pValue)
{
    CheckArray(pa);
    if (pa->classId != mxCELL_CLASS || i >= pa->vCells.size()) Misuse("mxSetCell outside the cell");
    if (pa->vCells[i] && pa->vCells[i] != pValue) mxDestroyArray(pa->vCells[i]);
    pa->vCells[i] = pValue;
    Adopt(pa, pValue);
}

mxArray* mxDuplicateArray(const mxArray* pa)
{
    CheckArray(pa);
    auto* pCopy = new mxArray(*pa);
    pCopy->pParent = nullptr;
    const size_t n = pa->bSparse ? pa->iNzmax : Count(pa->vDims);
    auto copyBlock = [](const void* p, size_t count, size_t size) -> void* {
        if (!p) return nullptr;
        void* q = ZeroedBlock(count, size);
        std::memcpy(q, p, count * size);
        return q;
    };
    pCopy->pReal =
        pa->classId == mxCELL_CLASS || pa->classId == mxSTRUCT_CLASS ? nullptr : copyBlock(pa->pReal, n, pa->iElemSize);
    pCopy->pImag = copyBlock(pa->pImag, n, pa->iElemSize);
    pCopy->pIr = static_cast<mwIndex*>(copyBlock(pa->pIr, pa->iNzmax, sizeof(mwIndex)));
    pCopy->pJc = static_cast<mwIndex*>(copyBlock(pa->pJc, pa->bSparse ? pa->vDims[1] + 1 : 0, sizeof(mwIndex)));
    for (auto& p : pCopy->vCells)
        if (p) {
            p = mxDuplicateArray(p);
            p->pParent = pCopy;
        }
    for (auto& p : pCopy->vFieldValues)
        if (p) {
            p = mxDuplicateArray(p);
            p->pParent = pCopy;
        }
    return Register(pCopy);
}

void mxDestroyArray(mxArray* pa)
{
    if (!pa) return;
    for (mxArray* p : pa->vCells)
        if (p) {
            p->pParent = nullptr;
            mxDestroyArray(p);
        }
    for (mxArray* p : pa->vFieldValues)
        if (p) {
            p->pParent = nullptr;
            mxDestroyArray(p);
        }
    {
        SState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.live.erase(pa)) Misuse("mxDestroyArray of an array that is not alive");
    }
    std::free(pa->pReal);
    std::free(pa->pImag);
    std::free(pa->pIr);
    std::free(pa->pJc);
    delete pa;
}

void* mxMalloc(size_t n) { return std::malloc(n ? n : 1); }
void* mxCalloc(size_t n, size_t size) { return std::calloc(n ? n : 1, size ? size : 1); }
void mxFree(void* p) { std::free(p); }

}  // extern "C"

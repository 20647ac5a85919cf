/* Stand-in for the host's MEX interface, used to build the module sources into
 * unit tests, fuzzers and benchmarks without MATLAB or Octave.
 *
 * It declares the subset of the published MEX/matrix API that the modules and
 * their tests use, with MATLAB's large-array types (mwSize is size_t). Arrays
 * keep real and imaginary parts separately, as the classic API does.
 * Test-side control (calling mexFunction, reading captured output) is in
 * mex_standin.h. */
#ifndef QMV_HOST_MEX_H
#define QMV_HOST_MEX_H

#include <cstddef>
#include <cstdint>

typedef struct mxArray_tag mxArray;
typedef size_t mwSize;
typedef size_t mwIndex;
typedef ptrdiff_t mwSignedIndex;
typedef bool mxLogical;
typedef char16_t mxChar;

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS,
    mxINT64_CLASS,
    mxUINT64_CLASS,
    mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX } mxComplexity;

extern "C" {

/* The module's entry; defined by the module under test. */
void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

/* Host services. mexErrMsgTxt never returns (it throws the stand-in's error),
 * but like the real hosts' headers it is not declared noreturn. */
void mexErrMsgTxt(const char* sText);
void mexErrMsgIdAndTxt(const char* sId, const char* sFormat, ...);
void mexWarnMsgTxt(const char* sText);
int mexPrintf(const char* sFormat, ...);
int mexEvalString(const char* sCommand);
/* Registers the function the host calls before it unloads the module. */
int mexAtExit(void (*fnExit)(void));

/* Predicates. */
bool mxIsDouble(const mxArray* pa);
bool mxIsSingle(const mxArray* pa);
bool mxIsComplex(const mxArray* pa);
bool mxIsSparse(const mxArray* pa);
bool mxIsNumeric(const mxArray* pa);
bool mxIsEmpty(const mxArray* pa);
bool mxIsStruct(const mxArray* pa);
bool mxIsCell(const mxArray* pa);
bool mxIsLogical(const mxArray* pa);
bool mxIsChar(const mxArray* pa);
bool mxIsFinite(double v);
bool mxIsNaN(double v);
bool mxIsInf(double v);
double mxGetNaN(void);
double mxGetInf(void);
double mxGetEps(void);

/* Inspection. */
mxClassID mxGetClassID(const mxArray* pa);
const char* mxGetClassName(const mxArray* pa);
mwSize mxGetNumberOfDimensions(const mxArray* pa);
const mwSize* mxGetDimensions(const mxArray* pa);
size_t mxGetNumberOfElements(const mxArray* pa);
size_t mxGetM(const mxArray* pa);
size_t mxGetN(const mxArray* pa);
size_t mxGetElementSize(const mxArray* pa);
double mxGetScalar(const mxArray* pa);
char* mxArrayToString(const mxArray* pa);
double* mxGetPr(const mxArray* pa);
double* mxGetPi(const mxArray* pa);
void* mxGetData(const mxArray* pa);
void* mxGetImagData(const mxArray* pa);
mwIndex* mxGetIr(const mxArray* pa);
mwIndex* mxGetJc(const mxArray* pa);
mwSize mxGetNzmax(const mxArray* pa);
mxArray* mxGetField(const mxArray* pa, mwIndex i, const char* sName);
mxArray* mxGetFieldByNumber(const mxArray* pa, mwIndex i, int iField);
int mxGetNumberOfFields(const mxArray* pa);
int mxGetFieldNumber(const mxArray* pa, const char* sName);
const char* mxGetFieldNameByNumber(const mxArray* pa, int iField);
mxArray* mxGetCell(const mxArray* pa, mwIndex i);

/* Creation and change. Arrays created during a call that the module does not
 * return are freed by the host when the call ends, as real hosts do. */
mxArray* mxCreateNumericArray(mwSize nDims, const mwSize* pDims, mxClassID classId, mxComplexity complexity);
/* The contents are undefined. The dimensions are not const, as in MATLAB's
 * declaration, so that callers compile against both hosts. */
mxArray* mxCreateUninitNumericArray(mwSize nDims, mwSize* pDims, mxClassID classId, mxComplexity complexity);
mxArray* mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classId, mxComplexity complexity);
mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity complexity);
mxArray* mxCreateDoubleScalar(double v);
mxArray* mxCreateLogicalScalar(bool v);
mxArray* mxCreateLogicalMatrix(mwSize m, mwSize n);
mxArray* mxCreateString(const char* s);
mxArray* mxCreateSparse(mwSize m, mwSize n, mwSize nzmax, mxComplexity complexity);
mxArray* mxCreateCellMatrix(mwSize m, mwSize n);
mxArray* mxCreateCellArray(mwSize nDims, const mwSize* pDims);
mxArray* mxCreateStructMatrix(mwSize m, mwSize n, int nFields, const char** ppNames);
mxArray* mxCreateStructArray(mwSize nDims, const mwSize* pDims, int nFields, const char** ppNames);
int mxAddField(mxArray* pa, const char* sName);
void mxSetField(mxArray* pa, mwIndex i, const char* sName, mxArray* pValue);
void mxSetCell(mxArray* pa, mwIndex i, mxArray* pValue);
mxArray* mxDuplicateArray(const mxArray* pa);
void mxDestroyArray(mxArray* pa);
void* mxMalloc(size_t n);
void* mxCalloc(size_t n, size_t size);
void mxFree(void* p);

} /* extern "C" */

#endif

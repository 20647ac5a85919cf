// Test-side control of the stand-in host: runs the linked mexFunction the way
// MATLAB or Octave would, captures what the module prints, and builds and reads
// arrays for tests.
#ifndef QMV_HOST_MEX_STANDIN_H
#define QMV_HOST_MEX_STANDIN_H

#include "mex.h"

#include <cstddef>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace NMexStandIn {

// What mexErrMsgTxt throws. Like Octave's own error exception it derives from
// std::exception, so a module that swallows std::exception around a host error
// call is caught out by the tests.
class CHostError : public std::exception {
public:
    explicit CHostError(std::string sText) : m_sText(std::move(sText)) {}
    const char* what() const noexcept override { return m_sText.c_str(); }

private:
    std::string m_sText;
};

struct SArrayDeleter {
    void operator()(mxArray* pa) const { mxDestroyArray(pa); }
};
using CArrayPtr = std::unique_ptr<mxArray, SArrayDeleter>;

// The outcome of one call of mexFunction.
struct CCallResult {
    bool bOk = false;                 // returned normally
    std::string sError;               // text given to mexErrMsgTxt
    bool bEscaped = false;            // some other exception left mexFunction (a defect)
    std::string sEscaped;             // its what(), when it had one
    std::vector<CArrayPtr> vOutputs;  // plhs[0..nlhs-1] (null where not set)
    std::string sPrinted;             // everything printed with mexPrintf
    std::vector<std::string> vEvals;  // every mexEvalString command, in order
    int iOffThreadHostCalls = 0;      // host calls made from threads other than the caller's

    const mxArray* Output(size_t i = 0) const { return i < vOutputs.size() ? vOutputs[i].get() : nullptr; }
};

// Calls mexFunction with nlhs outputs and the given inputs. Inputs stay owned
// by the caller. Arrays the module created but did not return are freed, as
// the real hosts do at the end of a call (also after an error).
CCallResult CallMex(int nlhs, const std::vector<const mxArray*>& vArgs);

// Unloads the module as a host would: calls the function it registered with
// mexAtExit, if any, and forgets it. Returns whether there was one.
bool UnloadModule();

// Number of arrays currently alive (created and not destroyed).
size_t LiveArrayCount();

// Builders. Values are given in column-major order (MATLAB's linear order);
// a shorter value list leaves the remaining elements 0.
CArrayPtr MakeDouble(const std::vector<size_t>& vDims, const std::vector<double>& vValues = {});
CArrayPtr MakeComplex(const std::vector<size_t>& vDims, const std::vector<double>& vReal,
                      const std::vector<double>& vImag);
CArrayPtr MakeNumeric(const std::vector<size_t>& vDims, mxClassID classId);
CArrayPtr MakeScalar(double v);
// An iRows x iCols x iPlanes double array whose element (y, x, c), 0-based, is fn(y, x, c).
template <typename TFn>
CArrayPtr MakeDoubleFrom(size_t iRows, size_t iCols, size_t iPlanes, const TFn& fn)
{
    std::vector<double> v(iRows * iCols * iPlanes);
    size_t i = 0;
    for (size_t c = 0; c < iPlanes; ++c)
        for (size_t x = 0; x < iCols; ++x)
            for (size_t y = 0; y < iRows; ++y)
                v[i++] = fn(static_cast<int>(y), static_cast<int>(x), static_cast<int>(c));
    return MakeDouble({iRows, iCols, iPlanes}, v);
}
CArrayPtr MakeSparse(size_t m, size_t n);
CArrayPtr MakeString(const std::string& s);
// A 1 x N cell; takes ownership of the elements (null elements stay empty slots).
CArrayPtr MakeCellFrom(std::vector<CArrayPtr> vElements);
// A 1 x 1 struct; takes ownership of the values.
CArrayPtr MakeStructFrom(std::vector<std::pair<std::string, CArrayPtr>> vFields);

// MakeCell(MakeScalar(1), nullptr, ...): the same, from an argument list.
template <typename... TElems>
CArrayPtr MakeCell(TElems&&... elems)
{
    std::vector<CArrayPtr> v;
    (v.push_back(CArrayPtr(std::forward<TElems>(elems))), ...);
    return MakeCellFrom(std::move(v));
}

inline void AddFields(std::vector<std::pair<std::string, CArrayPtr>>&) {}
template <typename TValue, typename... TRest>
void AddFields(std::vector<std::pair<std::string, CArrayPtr>>& v, const char* sName, TValue&& value, TRest&&... rest)
{
    v.emplace_back(sName, CArrayPtr(std::forward<TValue>(value)));
    AddFields(v, std::forward<TRest>(rest)...);
}

// MakeStruct("name", value, "name2", value2, ...): a 1 x 1 struct.
template <typename... TArgs>
CArrayPtr MakeStruct(TArgs&&... args)
{
    std::vector<std::pair<std::string, CArrayPtr>> v;
    AddFields(v, std::forward<TArgs>(args)...);
    return MakeStructFrom(std::move(v));
}

// Readers.
std::vector<size_t> Dims(const mxArray* pa);
std::vector<double> Values(const mxArray* pa);

}  // namespace NMexStandIn

#endif

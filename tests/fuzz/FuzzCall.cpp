// Checking one decoded call against the host rules; see FuzzCall.h.
#include "FuzzCall.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace NQmvFuzz {

namespace {

bool StartsWith(const std::string& s, const char* sPrefix) { return s.rfind(sPrefix, 0) == 0; }

std::string DescribeArray(const mxArray* pa)
{
    std::string s = mxGetClassName(pa);
    const size_t nDims = mxGetNumberOfDimensions(pa);
    for (size_t d = 0; d < nDims; ++d) s += (d ? "x" : " ") + std::to_string(mxGetDimensions(pa)[d]);
    if (mxIsComplex(pa)) s += " complex";
    if (mxIsSparse(pa)) s += " sparse";
    if (mxIsCell(pa)) {
        s += " {";
        for (size_t i = 0; i < mxGetNumberOfElements(pa); ++i) {
            const mxArray* pElem = mxGetCell(pa, i);
            s += (i ? ", " : "") + (pElem ? DescribeArray(pElem) : std::string("(empty)"));
        }
        s += "}";
    }
    if (mxIsStruct(pa) && mxGetNumberOfElements(pa) > 0) {
        s += " {";
        for (int f = 0; f < mxGetNumberOfFields(pa); ++f) {
            const mxArray* pValue = mxGetFieldByNumber(pa, 0, f);
            s += std::string(f ? ", " : "") + mxGetFieldNameByNumber(pa, f) + ": " +
                 (pValue ? DescribeArray(pValue) : std::string("(unset)"));
        }
        s += "}";
    }
    return s;
}

// Whether pa has the class, shape and (real) values of an array the call was
// given, at any depth of its cells and structs.
bool SameArray(const mxArray* pa, const mxArray* pb)
{
    if (mxGetClassID(pa) != mxGetClassID(pb) || mxIsComplex(pa) != mxIsComplex(pb) ||
        mxIsSparse(pa) != mxIsSparse(pb) || mxGetNumberOfDimensions(pa) != mxGetNumberOfDimensions(pb))
        return false;
    for (size_t d = 0; d < mxGetNumberOfDimensions(pa); ++d)
        if (mxGetDimensions(pa)[d] != mxGetDimensions(pb)[d]) return false;
    if (mxIsCell(pa) || mxIsStruct(pa) || mxIsSparse(pa)) return false;  // not what a module hands back
    const size_t nBytes = mxGetNumberOfElements(pa) * mxGetElementSize(pa);
    return nBytes == 0 || std::memcmp(mxGetData(pa), mxGetData(pb), nBytes) == 0;
}

bool IsInput(const mxArray* pa, const mxArray* pInput)
{
    if (pInput == nullptr) return false;
    if (SameArray(pa, pInput)) return true;
    if (mxIsCell(pInput))
        for (size_t i = 0; i < mxGetNumberOfElements(pInput); ++i)
            if (IsInput(pa, mxGetCell(pInput, i))) return true;
    if (mxIsStruct(pInput))
        for (size_t i = 0; i < mxGetNumberOfElements(pInput); ++i)
            for (int f = 0; f < mxGetNumberOfFields(pInput); ++f)
                if (IsInput(pa, mxGetFieldByNumber(pInput, i, f))) return true;
    return false;
}

bool IsInputCopy(const mxArray* pa, const SCall& call)
{
    for (const auto& pInput : call.vArgs)
        if (IsInput(pa, pInput.get())) return true;
    return false;
}

// A real dense double array, or a cell of them but for elements that are
// inputs handed back (qmv_rigid_motion returns the reference frame's map,
// which it never reads, as the caller gave it).
bool IsRealDenseDouble(const mxArray* pa, const SCall& call)
{
    if (mxIsCell(pa)) {
        for (size_t i = 0; i < mxGetNumberOfElements(pa); ++i) {
            const mxArray* pElement = mxGetCell(pa, i);
            if (pElement != nullptr && !IsRealDenseDouble(pElement, call) && !IsInputCopy(pElement, call)) return false;
        }
        return true;
    }
    return mxIsDouble(pa) && !mxIsComplex(pa) && !mxIsSparse(pa);
}

}  // namespace

std::string Describe(const SCall& call)
{
    std::string s = std::string(kModuleName) + " with nlhs " + std::to_string(call.nlhs) + ", " +
                    std::to_string(call.vArgs.size()) + " inputs";
    for (size_t i = 0; i < call.vArgs.size(); ++i)
        s += "\n  in " + std::to_string(i + 1) + ": " + DescribeArray(call.vArgs[i].get());
    return s;
}

std::string BrokenRule(const SCall& call, const NMexStandIn::CCallResult& result)
{
    if (result.bEscaped) return "an exception left mexFunction: " + result.sEscaped;
    if (result.iOffThreadHostCalls)
        return std::to_string(result.iOffThreadHostCalls) + " host calls came from another thread";
    if (!result.bOk) {
        if (!StartsWith(result.sError, "Usage: ") && !StartsWith(result.sError, "Error: "))
            return "the error text does not begin with \"Usage: \" or \"Error: \": " + result.sError;
        return "";
    }
    if (call.nlhs >= 1) {
        const mxArray* pOut = result.Output(0);
        if (!pOut) return "the call succeeded without setting its output";
        if (!IsRealDenseDouble(pOut, call))
            return std::string("the output is not a real dense double array (or a cell of them) but ") +
                   DescribeArray(pOut);
    }
    return "";
}

void RunChecked(const SCall& call)
{
    std::vector<const mxArray*> vArgs;
    for (const auto& pa : call.vArgs) vArgs.push_back(pa.get());
    const size_t iLiveBefore = NMexStandIn::LiveArrayCount();
    std::string sBroken;
    {
        const NMexStandIn::CCallResult result = NMexStandIn::CallMex(call.nlhs, vArgs);
        sBroken = BrokenRule(call, result);
        if (std::getenv("QMV_FUZZ_TRACE"))
            std::fprintf(stderr, "%s\n  -> %s\n", Describe(call).c_str(),
                         result.bOk ? "returned" : result.sError.c_str());
    }
    if (sBroken.empty() && NMexStandIn::LiveArrayCount() != iLiveBefore)
        sBroken = "the call left " + std::to_string(NMexStandIn::LiveArrayCount() - iLiveBefore) + " arrays alive";
    if (sBroken.empty()) return;
    std::fprintf(stderr, "\n*** host rule broken by %s\n*** %s\n", Describe(call).c_str(), sBroken.c_str());
    std::abort();
}

}  // namespace NQmvFuzz

// Checking one decoded call against the host rules; see FuzzCall.h.
#include "FuzzCall.h"

#include <cstdio>
#include <cstdlib>

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

// A real dense double array, or a cell whose set elements all are (the maps
// of qmv_rigid_motion).
bool IsRealDenseDouble(const mxArray* pa)
{
    if (mxIsCell(pa)) {
        for (size_t i = 0; i < mxGetNumberOfElements(pa); ++i) {
            const mxArray* pElement = mxGetCell(pa, i);
            if (pElement != nullptr && !IsRealDenseDouble(pElement)) return false;
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
        if (!IsRealDenseDouble(pOut))
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

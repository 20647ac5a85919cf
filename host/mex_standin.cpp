// The stand-in host's test control: calling mexFunction like a host does, and
// building and reading arrays.
#include "mex_standin.h"
#include "standin_state.h"

#include <algorithm>
#include <stdexcept>

namespace NMexStandIn {

SState& State()
{
    static SState* pState = new SState;  // never destroyed: usable during static teardown
    return *pState;
}

namespace {

// Frees what the module created during the call and did not hand back, as a
// host does when the call ends.
void FreeTemporaries(const std::vector<mxArray*>& vCreated, const std::vector<mxArray*>& vKeep)
{
    std::vector<mxArray*> vRoots;
    for (mxArray* pa : vCreated) {
        bool bLive;
        {
            std::lock_guard<std::mutex> lock(State().mutex);
            bLive = State().live.count(pa) != 0;
        }
        if (!bLive || pa->pParent) continue;
        if (std::find(vKeep.begin(), vKeep.end(), pa) == vKeep.end()) vRoots.push_back(pa);
    }
    for (mxArray* pa : vRoots) mxDestroyArray(pa);
}

}  // namespace

CCallResult CallMex(int nlhs, const std::vector<const mxArray*>& vArgs)
{
    SState& s = State();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.bInCall = true;
        s.caller = std::this_thread::get_id();
        s.createdInCall.clear();
        s.printed.clear();
        s.evals.clear();
        s.offThread = 0;
    }
    CCallResult result;
    std::vector<mxArray*> plhs(static_cast<size_t>(std::max(nlhs, 1)), nullptr);
    std::vector<const mxArray*> prhs(vArgs);
    try {
        mexFunction(nlhs, plhs.data(), static_cast<int>(prhs.size()), prhs.data());
        result.bOk = true;
    } catch (const CHostError& e) {
        result.sError = e.what();
    } catch (const std::exception& e) {
        result.bEscaped = true;
        result.sEscaped = e.what();
    } catch (const std::string& e) {
        result.bEscaped = true;
        result.sEscaped = e;
    } catch (...) {
        result.bEscaped = true;
        result.sEscaped = "(exception of unknown type)";
    }

    std::vector<mxArray*> vCreated;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.bInCall = false;
        vCreated.swap(s.createdInCall);
        result.sPrinted.swap(s.printed);
        result.vEvals.swap(s.evals);
        result.iOffThreadHostCalls = s.offThread;
    }
    std::vector<mxArray*> vKeep;
    if (result.bOk) {
        for (mxArray* pa : plhs)
            if (pa && std::find(vCreated.begin(), vCreated.end(), pa) != vCreated.end() && !pa->pParent)
                vKeep.push_back(pa);
    }
    FreeTemporaries(vCreated, vKeep);
    for (mxArray* pa : plhs)
        result.vOutputs.emplace_back(std::find(vKeep.begin(), vKeep.end(), pa) != vKeep.end() ? pa : nullptr);
    return result;
}

bool UnloadModule()
{
    void (*fnAtExit)(void) = nullptr;
    {
        std::lock_guard<std::mutex> lock(State().mutex);
        fnAtExit = State().fnAtExit;
        State().fnAtExit = nullptr;
    }
    if (fnAtExit == nullptr) return false;
    fnAtExit();
    return true;
}

size_t LiveArrayCount()
{
    std::lock_guard<std::mutex> lock(State().mutex);
    return State().live.size();
}

namespace {

void CopyValues(double* pDst, size_t n, const std::vector<double>& vValues)
{
    if (vValues.size() > n) throw std::invalid_argument("more values than elements");
    std::copy(vValues.begin(), vValues.end(), pDst);
}

}  // namespace

CArrayPtr MakeDouble(const std::vector<size_t>& vDims, const std::vector<double>& vValues)
{
    CArrayPtr pa(mxCreateNumericArray(vDims.size(), vDims.data(), mxDOUBLE_CLASS, mxREAL));
    CopyValues(mxGetPr(pa.get()), mxGetNumberOfElements(pa.get()), vValues);
    return pa;
}

CArrayPtr MakeComplex(const std::vector<size_t>& vDims, const std::vector<double>& vReal,
                      const std::vector<double>& vImag)
{
    CArrayPtr pa(mxCreateNumericArray(vDims.size(), vDims.data(), mxDOUBLE_CLASS, mxCOMPLEX));
    CopyValues(mxGetPr(pa.get()), mxGetNumberOfElements(pa.get()), vReal);
    CopyValues(mxGetPi(pa.get()), mxGetNumberOfElements(pa.get()), vImag);
    return pa;
}

CArrayPtr MakeNumeric(const std::vector<size_t>& vDims, mxClassID classId)
{
    return CArrayPtr(mxCreateNumericArray(vDims.size(), vDims.data(), classId, mxREAL));
}

CArrayPtr MakeScalar(double v) { return CArrayPtr(mxCreateDoubleScalar(v)); }

CArrayPtr MakeSparse(size_t m, size_t n) { return CArrayPtr(mxCreateSparse(m, n, 1, mxREAL)); }

CArrayPtr MakeString(const std::string& s) { return CArrayPtr(mxCreateString(s.c_str())); }

CArrayPtr MakeCellFrom(std::vector<CArrayPtr> vElements)
{
    CArrayPtr pa(mxCreateCellMatrix(1, vElements.size()));
    for (size_t i = 0; i < vElements.size(); ++i) mxSetCell(pa.get(), i, vElements[i].release());
    return pa;
}

CArrayPtr MakeStructFrom(std::vector<std::pair<std::string, CArrayPtr>> vFields)
{
    CArrayPtr pa(mxCreateStructMatrix(1, 1, 0, nullptr));
    for (auto& field : vFields) {
        mxAddField(pa.get(), field.first.c_str());
        mxSetField(pa.get(), 0, field.first.c_str(), field.second.release());
    }
    return pa;
}

std::vector<size_t> Dims(const mxArray* pa)
{
    const mwSize* p = mxGetDimensions(pa);
    return std::vector<size_t>(p, p + mxGetNumberOfDimensions(pa));
}

std::vector<double> Values(const mxArray* pa)
{
    if (!mxIsDouble(pa) || mxIsSparse(pa)) throw std::invalid_argument("Values() needs a dense double array");
    const double* p = mxGetPr(pa);
    return std::vector<double>(p, p + (p ? mxGetNumberOfElements(pa) : 0));
}

}  // namespace NMexStandIn

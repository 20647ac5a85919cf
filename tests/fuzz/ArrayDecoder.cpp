// Decoding of fuzzer bytes into host arrays; see ArrayDecoder.h.
#include "ArrayDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace NQmvFuzz {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const double kSpecialValues[] = {0.0,
                                 1.0,
                                 -1.0,
                                 0.5,
                                 -0.5,
                                 2.5,
                                 1.4999999999999998,
                                 255.0,
                                 3.0,
                                 7.0,
                                 kNaN,
                                 kInf,
                                 -kInf,
                                 std::numeric_limits<double>::max(),
                                 -std::numeric_limits<double>::max(),
                                 1e300,
                                 -1e300,
                                 2147483647.0,
                                 2147483648.0,
                                 -2147483648.0,
                                 -2147483649.0,
                                 4294967296.0,
                                 9007199254740993.0,
                                 1e-310,
                                 std::numeric_limits<double>::min(),
                                 1e-50,
                                 -1e-50,
                                 1e6,
                                 -1e9,
                                 32767.0,
                                 32768.0,
                                 65536.0};
constexpr size_t kSpecialCount = sizeof kSpecialValues / sizeof kSpecialValues[0];

// Extents that claim far more elements than any decoded array holds.
const size_t kHugeExtents[] = {2147483647u, 2147483648u, 4294967296u, 4294967299u, size_t(1) << 40};

const mxClassID kNumericClasses[] = {mxSINGLE_CLASS, mxINT8_CLASS,    mxUINT8_CLASS,  mxINT16_CLASS,
                                     mxUINT16_CLASS, mxINT32_CLASS,   mxUINT32_CLASS, mxINT64_CLASS,
                                     mxUINT64_CLASS, mxLOGICAL_CLASS, mxCHAR_CLASS};

const char* const kFieldNames[] = {"idx0",    "numFrames", "scaleFactor",   "vecKers", "imgWs",
                                   "vecImgW", "vecMapB",   "dataTermScale", "eta",     "x"};

size_t SaturatingCount(const std::vector<size_t>& vDims)
{
    size_t n = 1;
    for (size_t d : vDims) {
        if (d == 0) return 0;
        n = n > std::numeric_limits<size_t>::max() / d ? std::numeric_limits<size_t>::max() : n * d;
    }
    return n;
}

// Zeroes one extent of a shape that would hold too many elements; the other
// extents keep their (possibly huge) values.
void CapElements(CByteSource& src, std::vector<size_t>& vDims)
{
    if (SaturatingCount(vDims) <= kMaxElements) return;
    vDims[src.Pick(vDims.size())] = 0;
    if (SaturatingCount(vDims) > kMaxElements) vDims[0] = 0;
}

size_t DecodeExtent(CByteSource& src)
{
    const uint8_t b = src.Byte();
    if (b < 200) return b % 9;
    if (b < 240) return 9 + b % 24;
    return kHugeExtents[b % (sizeof kHugeExtents / sizeof kHugeExtents[0])];
}

std::vector<size_t> DecodeDims(CByteSource& src)
{
    std::vector<size_t> vDims(src.Pick(5));  // 0 to 4 extents; the host pads to 2
    bool bHuge = false;
    for (size_t& d : vDims) {
        d = DecodeExtent(src);
        if (d > 64) {
            if (bHuge) d = 2;  // one lying extent per array keeps the claimed count in range
            bHuge = true;
        }
    }
    CapElements(src, vDims);
    return vDims;
}

std::vector<size_t> PerturbDims(CByteSource& src, std::vector<size_t> vDims)
{
    while (vDims.size() < 2) vDims.push_back(1);
    const size_t iKind = src.Pick(12);
    const size_t iAxis = src.Pick(vDims.size());
    switch (iKind) {
        case 0:
            std::swap(vDims[0], vDims[1]);
            break;
        case 1:
            ++vDims[iAxis];
            break;
        case 2:
            vDims[iAxis] = vDims[iAxis] ? vDims[iAxis] - 1 : 0;
            break;
        case 3:
            vDims[iAxis] /= 2;
            break;
        case 4:
            vDims[iAxis] *= 2;
            break;
        case 5:
            vDims.resize(2);
            break;
        case 6:
            vDims.resize(3, 1);
            vDims[2] = 0;
            break;
        case 7:
            vDims.resize(3, 1);
            vDims.push_back(2);
            break;
        case 8:
            vDims = {0, 0};
            break;
        case 9:
            vDims[0] = kHugeExtents[src.Pick(5)];
            vDims[1] = 0;
            break;
        case 10:
            vDims[1] = kHugeExtents[src.Pick(5)];
            vDims[0] = 0;
            break;
        default:
            return DecodeDims(src);
    }
    CapElements(src, vDims);
    return vDims;
}

double PlausibleValue(const SExpect& expect, const std::vector<size_t>& vDims, size_t i, double dShift)
{
    switch (expect.eValues) {
        case EValues::Unit:
            return static_cast<double>((i * 37 + 11) % 101) / 100.0;
        case EValues::Weights:
            return 0.5 + static_cast<double>((i * 13) % 7) / 12.0;
        case EValues::Kernel:
            return 1.0 / static_cast<double>(std::max<size_t>(1, SaturatingCount(vDims)));
        case EValues::Scalar:
            return expect.dScalar;
        case EValues::Coords:
            break;
    }
    // Plane 1 holds the 1-based column, plane 2 the 1-based row.
    const size_t iHeight = vDims.empty() ? 1 : std::max<size_t>(1, vDims[0]);
    const size_t iWidth = vDims.size() < 2 ? 1 : std::max<size_t>(1, vDims[1]);
    const size_t iPlane = i / (iHeight * iWidth);
    const size_t iInPlane = i % (iHeight * iWidth);
    const double dCoord =
        iPlane == 0 ? static_cast<double>(iInPlane / iHeight) + 1.0 : static_cast<double>(iInPlane % iHeight) + 1.0;
    return dCoord + dShift;
}

std::vector<double> DecodeValues(CByteSource& src, const SExpect& expect, const std::vector<size_t>& vDims, size_t n)
{
    std::vector<double> v(n);
    const uint8_t iMode = src.Byte();
    if (iMode < 160) {
        // Odd modes move every coordinate by up to two and a quarter pixels.
        const double dShift = iMode % 2 ? static_cast<double>(src.Pick(7)) * 0.75 - 2.25 : 0.0;
        for (size_t i = 0; i < n; ++i) v[i] = PlausibleValue(expect, vDims, i, dShift);
        const size_t iSprinkles = src.Deviate() ? 1 + src.Pick(4) : 0;
        for (size_t k = 0; k < iSprinkles && n; ++k) v[src.Word() % n] = DecodeSpecialValue(src);
    } else if (iMode < 200) {
        const double d = DecodeSpecialValue(src);
        std::fill(v.begin(), v.end(), d);
    } else if (iMode < 235) {
        for (double& d : v) d = static_cast<double>(src.Byte()) / 16.0 - 4.0;
    } else {
        for (double& d : v) d = DecodeSpecialValue(src);
    }
    return v;
}

// Converts without undefined behaviour: NaN becomes 0, the rest saturates.
template <typename T>
T Saturate(double d)
{
    if (std::isnan(d)) return T(0);
    if (d <= static_cast<double>(std::numeric_limits<T>::lowest())) return std::numeric_limits<T>::lowest();
    if (d >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(d);
}

template <typename T>
void Store(void* pData, const std::vector<double>& v)
{
    T* p = static_cast<T*>(pData);
    for (size_t i = 0; i < v.size(); ++i) p[i] = Saturate<T>(v[i]);
}

void StoreAs(mxClassID id, void* pData, const std::vector<double>& v)
{
    if (!pData) return;
    switch (id) {
        case mxDOUBLE_CLASS:
            std::copy(v.begin(), v.end(), static_cast<double*>(pData));
            break;
        case mxSINGLE_CLASS: {
            float* p = static_cast<float*>(pData);
            for (size_t i = 0; i < v.size(); ++i)
                p[i] = std::isfinite(v[i]) && std::fabs(v[i]) > 3.4e38 ? (v[i] > 0 ? 3.4e38f : -3.4e38f)
                                                                       : static_cast<float>(v[i]);
            break;
        }
        case mxINT8_CLASS:
            Store<int8_t>(pData, v);
            break;
        case mxUINT8_CLASS:
            Store<uint8_t>(pData, v);
            break;
        case mxINT16_CLASS:
            Store<int16_t>(pData, v);
            break;
        case mxUINT16_CLASS:
            Store<uint16_t>(pData, v);
            break;
        case mxINT32_CLASS:
            Store<int32_t>(pData, v);
            break;
        case mxUINT32_CLASS:
            Store<uint32_t>(pData, v);
            break;
        case mxINT64_CLASS:
            Store<int64_t>(pData, v);
            break;
        case mxUINT64_CLASS:
            Store<uint64_t>(pData, v);
            break;
        case mxLOGICAL_CLASS: {
            bool* p = static_cast<bool*>(pData);
            for (size_t i = 0; i < v.size(); ++i) p[i] = v[i] != 0.0;
            break;
        }
        case mxCHAR_CLASS:
            Store<char16_t>(pData, v);
            break;
        default:
            break;
    }
}

// A sparse double array of iRows x iCols with at most one entry per column.
CArrayPtr MakeSparse(CByteSource& src, const SExpect& expect, size_t iRows, size_t iCols, bool bComplex)
{
    iCols = std::min(iCols, kMaxElements);
    const size_t iEntries = iRows ? std::min<size_t>(iCols, 1 + src.Pick(8)) : 0;
    CArrayPtr pa(mxCreateSparse(iRows, iCols, std::max<size_t>(iEntries, 1), bComplex ? mxCOMPLEX : mxREAL));
    const std::vector<double> vValues = DecodeValues(src, expect, {iEntries, 1}, iEntries);
    mwIndex* pIr = mxGetIr(pa.get());
    mwIndex* pJc = mxGetJc(pa.get());
    double* pPr = mxGetPr(pa.get());
    for (size_t j = 0; j < iCols; ++j) {
        pJc[j] = std::min(j, iEntries);
        if (j < iEntries) {
            pIr[j] = (j * 7 + src.Byte()) % iRows;
            pPr[j] = vValues[j];
            if (bComplex) mxGetPi(pa.get())[j] = vValues[j] * 0.5;
        }
    }
    pJc[iCols] = iEntries;
    return pa;
}

CArrayPtr MakeNumeric(CByteSource& src, const SExpect& expect, std::vector<size_t> vDims, mxClassID id, bool bComplex)
{
    if (vDims.empty()) vDims = {0, 0};
    if (id == mxLOGICAL_CLASS || id == mxCHAR_CLASS) bComplex = false;
    CArrayPtr pa(mxCreateNumericArray(vDims.size(), vDims.data(), id, bComplex ? mxCOMPLEX : mxREAL));
    const size_t n = mxGetNumberOfElements(pa.get());
    StoreAs(id, mxGetData(pa.get()), DecodeValues(src, expect, vDims, n));
    if (bComplex) StoreAs(id, mxGetImagData(pa.get()), DecodeValues(src, expect, vDims, n));
    return pa;
}

CArrayPtr MakeAnyCell(CByteSource& src, int iDepth)
{
    const size_t n = src.Pick(5);
    const mwSize dims[2] = {1, n};
    CArrayPtr pa(mxCreateCellArray(2, dims));
    for (size_t i = 0; i < n; ++i)
        if (!src.RarelyDeviate()) mxSetCell(pa.get(), i, DecodeAnyArray(src, iDepth + 1).release());
    return pa;
}

CArrayPtr MakeAnyStruct(CByteSource& src, int iDepth)
{
    static const size_t kShapes[][2] = {{1, 1}, {0, 0}, {2, 1}, {1, 0}};
    const auto& shape = kShapes[src.Pick(4)];
    CArrayPtr pa(mxCreateStructMatrix(shape[0], shape[1], 0, nullptr));
    const size_t iFields = src.Pick(4);
    for (size_t f = 0; f < iFields; ++f) {
        const char* sName = kFieldNames[src.Pick(sizeof kFieldNames / sizeof kFieldNames[0])];
        mxAddField(pa.get(), sName);
        for (size_t e = 0; e < mxGetNumberOfElements(pa.get()); ++e)
            if (!src.RarelyDeviate()) mxSetField(pa.get(), e, sName, DecodeAnyArray(src, iDepth + 1).release());
    }
    return pa;
}

std::string DecodeText(CByteSource& src)
{
    std::string s(src.Pick(12), 'a');
    for (char& c : s) c = static_cast<char>(32 + src.Pick(95));
    return s;
}

}  // namespace

SExpect ImageOf(std::vector<size_t> vDims) { return SExpect{std::move(vDims), EValues::Unit, 0.0}; }

SExpect MapOf(size_t iHeight, size_t iWidth) { return SExpect{{iHeight, iWidth, 2}, EValues::Coords, 0.0}; }

SExpect ScalarOf(double dValue) { return SExpect{{1, 1}, EValues::Scalar, dValue}; }

double DecodeSpecialValue(CByteSource& src)
{
    const uint8_t b = src.Byte();
    if (b < 224) return kSpecialValues[b % kSpecialCount];
    return src.RawDouble();
}

int DecodeCount(CByteSource& src, int iExpected)
{
    if (!src.Deviate()) return iExpected;
    return static_cast<int>(src.Pick(static_cast<size_t>(iExpected) + 3));
}

CArrayPtr DecodeAnyArray(CByteSource& src, int iDepth)
{
    const SExpect anything{{}, EValues::Unit, 0.0};
    const size_t iKind = src.Pick(iDepth < 2 ? 17 : 14);
    if (iKind < 11) {
        return MakeNumeric(src, anything, DecodeDims(src), kNumericClasses[iKind], src.Deviate());
    }
    switch (iKind) {
        case 11:
            return MakeNumeric(src, anything, DecodeDims(src), mxDOUBLE_CLASS, src.Deviate());
        case 12:
            return MakeSparse(src, anything, DecodeExtent(src), DecodeExtent(src), src.Deviate());
        case 13:
            return CArrayPtr(mxCreateString(DecodeText(src).c_str()));
        case 14:
            return MakeAnyCell(src, iDepth);
        case 15:
            return MakeAnyStruct(src, iDepth);
        default:
            return MakeNumeric(src, anything, DecodeDims(src), mxDOUBLE_CLASS, false);
    }
}

CArrayPtr DecodeArgument(CByteSource& src, const SExpect& expect)
{
    if (src.Byte() >= 236) return DecodeAnyArray(src);
    std::vector<size_t> vDims = expect.vDims;
    if (src.Deviate()) vDims = PerturbDims(src, vDims);
    CapElements(src, vDims);
    const uint8_t iStorage = src.Byte();
    if (iStorage >= 248) {
        size_t iCols = 1;
        for (size_t d = 1; d < vDims.size(); ++d) iCols *= vDims[d];
        return MakeSparse(src, expect, vDims.empty() ? 0 : vDims[0], iCols, iStorage >= 252);
    }
    const mxClassID id = iStorage >= 236 ? kNumericClasses[iStorage % 11] : mxDOUBLE_CLASS;
    const bool bComplex = iStorage >= 224 && iStorage < 236;
    return MakeNumeric(src, expect, vDims, id, bComplex);
}

std::vector<CArrayPtr> DecodeArguments(CByteSource& src, const std::vector<SExpect>& vForms, int iCount)
{
    std::vector<CArrayPtr> vArgs;
    for (int i = 0; i < iCount; ++i)
        vArgs.push_back(static_cast<size_t>(i) < vForms.size() ? DecodeArgument(src, vForms[i]) : DecodeAnyArray(src));
    return vArgs;
}

CArrayPtr DecodeCellOf(CByteSource& src, const std::vector<SExpect>& vElements)
{
    if (src.RarelyDeviate()) return DecodeAnyArray(src);
    size_t n = vElements.size();
    if (src.Deviate()) {
        switch (src.Pick(4)) {
            case 0:
                n = n ? n - 1 : 0;
                break;
            case 1:
                n = 0;
                break;
            case 2:
                n += 1;
                break;
            default:
                n = src.Pick(n + 2);
                break;
        }
    }
    const bool bColumn = src.Byte() >= 200;
    CArrayPtr pa(bColumn ? mxCreateCellMatrix(n, 1) : mxCreateCellMatrix(1, n));
    for (size_t i = 0; i < n; ++i) {
        if (src.RarelyDeviate()) continue;  // an empty slot
        const SExpect& expect = vElements.empty() ? ImageOf({1, 1}) : vElements[std::min(i, vElements.size() - 1)];
        mxSetCell(pa.get(), i, DecodeArgument(src, expect).release());
    }
    return pa;
}

}  // namespace NQmvFuzz

// Reads the fuzzer's bytes as a stream of small decisions. Past the end every
// read yields 0, and 0 always means "the well-formed choice", so an empty or
// short input decodes into a plain valid call and longer inputs deviate from it.
#ifndef QMV_FUZZ_BYTE_SOURCE_H
#define QMV_FUZZ_BYTE_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace NQmvFuzz {

class CByteSource {
public:
    CByteSource(const uint8_t* pData, size_t iSize) : m_pData(pData), m_iSize(iSize) {}

    uint8_t Byte() { return m_iPos < m_iSize ? m_pData[m_iPos++] : 0; }

    uint16_t Word()
    {
        const uint16_t iLow = Byte();
        return static_cast<uint16_t>(iLow | (Byte() << 8));
    }

    // One of iCount choices; 0 when the input is exhausted.
    size_t Pick(size_t iCount) { return iCount ? Byte() % iCount : 0; }

    // True for roughly one byte value in four: a deviation from the expected form.
    bool Deviate() { return Byte() >= 192; }

    // True for roughly one byte value in sixteen: a rarer deviation.
    bool RarelyDeviate() { return Byte() >= 240; }

    // Any bit pattern as a double, including NaN payloads and denormals.
    double RawDouble()
    {
        uint64_t iBits = 0;
        for (int i = 0; i < 8; ++i) iBits |= static_cast<uint64_t>(Byte()) << (8 * i);
        double d;
        std::memcpy(&d, &iBits, sizeof d);
        return d;
    }

    size_t Remaining() const { return m_iSize - m_iPos; }

private:
    const uint8_t* m_pData;
    size_t m_iSize;
    size_t m_iPos = 0;
};

}  // namespace NQmvFuzz

#endif

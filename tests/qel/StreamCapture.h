// Captures what the library writes to std::cout and std::cerr during a scope.
#ifndef QMV_TESTS_QEL_STREAMCAPTURE_H
#define QMV_TESTS_QEL_STREAMCAPTURE_H

#include <iostream>
#include <sstream>
#include <string>

class CStreamCapture {
public:
    CStreamCapture() : m_pOldOut(std::cout.rdbuf(m_out.rdbuf())), m_pOldErr(std::cerr.rdbuf(m_err.rdbuf())) {}
    ~CStreamCapture()
    {
        std::cout.rdbuf(m_pOldOut);
        std::cerr.rdbuf(m_pOldErr);
    }
    CStreamCapture(const CStreamCapture&) = delete;
    CStreamCapture& operator=(const CStreamCapture&) = delete;

    std::string Out() const { return m_out.str(); }
    std::string Err() const { return m_err.str(); }

private:
    std::ostringstream m_out;
    std::ostringstream m_err;
    std::streambuf* m_pOldOut;
    std::streambuf* m_pOldErr;
};

#endif

// Library exceptions and the always-active assertion.
//
// Recoverable failures are thrown as NException::LogicError or
// NException::BadAlloc, each constructed from a string literal; constructing
// one writes a notice to standard output so that the failure is visible even
// when a caller swallows it. Broken preconditions are programming errors and
// end the process through QELAssert, which stays active in release builds.
#ifndef QELLIB_NEXCEPTION_H
#define QELLIB_NEXCEPTION_H

#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>

namespace NException {

// The notice is written in three flushed pieces; a failing stream must not
// change what the caller sees, so stream trouble is ignored.
inline void WriteConstructionNotice(const char* msg) noexcept
{
    try {
        std::cout << "\n\nException constructed - " << std::flush;
        std::cout << msg << std::flush;
        std::cout << "\n\n" << std::flush;
    } catch (...) {
    }
}

// Never returns: writes the fixed report to standard error and ends the
// process with status 1. Windows keeps the console open with "pause"; other
// platforms have no such command and exit right after the report.
[[noreturn]] inline void AssertFailed(const char* pFile, long iLine, const char* pExpr) noexcept
{
    try {
        std::cerr << std::endl << std::endl;
        std::cerr << "QELAssert failed!" << std::endl << std::endl;
        std::cerr << "File: " << pFile << std::endl;
        std::cerr << "Line: " << iLine << std::endl << std::endl;
        std::cerr << "Expression: " << pExpr << std::endl << std::endl;
        std::cerr << "Program terminated!" << std::endl << std::endl;
    } catch (...) {
    }
#ifdef _WIN32
    std::system("pause");
#endif
    std::exit(1);
}

// Violated logic: a dead singleton, an inconsistent argument found at run time.
class LogicError : public std::exception {
public:
    explicit LogicError(const char* msg) noexcept : m_pMsg(msg ? msg : "")
    {
        WriteConstructionNotice(m_pMsg);
    }
    LogicError(const LogicError& rhs) noexcept = default;
    LogicError& operator=(const LogicError& rhs) noexcept = default;
    ~LogicError() override = default;

    const char* what() const noexcept override { return m_pMsg; }

private:
    const char* m_pMsg; // string literal, never owned
};

// Size overflow or exhausted memory; also catchable as std::bad_alloc.
class BadAlloc : public std::bad_alloc {
public:
    explicit BadAlloc(const char* msg) noexcept : m_pMsg(msg ? msg : "")
    {
        WriteConstructionNotice(m_pMsg);
    }
    BadAlloc(const BadAlloc& rhs) noexcept = default;
    BadAlloc& operator=(const BadAlloc& rhs) noexcept = default;
    ~BadAlloc() override = default;

    const char* what() const noexcept override { return m_pMsg; }

private:
    const char* m_pMsg; // string literal, never owned
};

} // namespace NException

// Evaluates expr once; the report quotes it exactly as written at the call site.
#define QELAssert(expr) \
    ((expr) ? static_cast<void>(0) : ::NException::AssertFailed(__FILE__, __LINE__, #expr))

#endif // QELLIB_NEXCEPTION_H

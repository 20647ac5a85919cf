// Catch-and-report: runs a piece of a module's computation and turns whatever
// it throws into the text of a host error, so that no exception leaves
// mexFunction. Only the computation runs inside; the caller raises the host
// error afterwards, outside any handler, once its working objects are gone
// (the host raises its own errors as C++ exceptions, which a handler here
// would swallow).
#ifndef QMV_MEXGLUE_FAILURE_REPORT_H
#define QMV_MEXGLUE_FAILURE_REPORT_H

#include "QELLib/NException.h"

#include <exception>
#include <new>
#include <string>

namespace NMexGlue {

// How one module words its failures. A null prefix gives what() unchanged.
struct CFailureTexts {
    const char* sExceptionPrefix;  // before std::exception::what()
    const char* sOutOfMemory;      // std::bad_alloc; null: as any std::exception
    const char* sUnknown;          // anything else
    bool bLibraryTextsAsIs;        // the library's exceptions give their own text
    bool bStringsAsIs;             // a thrown std::string is the text
};

// The texts of a module that names itself in every failure:
// "Error: <module>: <what()>", "...: out of memory.", "...: unknown failure.";
// the library's texts get the prefix too and a thrown string is an unknown
// failure. A macro, so that the texts stay string literals.
#define QMV_MODULE_FAILURE_TEXTS(MODULE)                                                                          \
    NMexGlue::CFailureTexts                                                                                       \
    {                                                                                                             \
        "Error: " MODULE ": ", "Error: " MODULE ": out of memory.", "Error: " MODULE ": unknown failure.", false, \
            false                                                                                                 \
    }

// The defaults of FailureText's own handlers: types nobody throws.
struct CNothingElse {
    const char* what() const noexcept { return ""; }
};
struct CNothingMore {
    const char* what() const noexcept { return ""; }
};

namespace NDetail {

// "sPrefix + sText" without letting an allocation failure escape: the
// fallback fits the string's own buffer.
inline std::string Joined(const char* sPrefix, const char* sText) noexcept
{
    try {
        std::string s = sPrefix != nullptr ? sPrefix : "";
        s += sText;
        return s;
    } catch (...) {
        return "Error: failed.";
    }
}

}  // namespace NDetail

// The failure text of fn(), empty when it returns normally. A module that
// words one exception type of its own (OpenCV's, say) names it as TFirst,
// caught before all others, with sFirstPrefix before its what(); a second
// one (a reader's own failures, say) as TSecond with sSecondPrefix.
template <class TFirst = CNothingElse, class TSecond = CNothingMore, class TFn>
std::string FailureText(const CFailureTexts& texts, TFn&& fn, const char* sFirstPrefix = nullptr,
                        const char* sSecondPrefix = nullptr) noexcept
{
    using NDetail::Joined;
    try {
        fn();
    } catch (const TFirst& e) {
        return Joined(sFirstPrefix, e.what());
    } catch (const TSecond& e) {
        return Joined(sSecondPrefix, e.what());
    } catch (const std::string& s) {
        return Joined(nullptr, texts.bStringsAsIs ? s.c_str() : texts.sUnknown);
    } catch (const NException::LogicError& e) {
        return Joined(texts.bLibraryTextsAsIs ? nullptr : texts.sExceptionPrefix, e.what());
    } catch (const NException::BadAlloc& e) {
        if (texts.bLibraryTextsAsIs) return Joined(nullptr, e.what());
        return texts.sOutOfMemory != nullptr ? Joined(nullptr, texts.sOutOfMemory)
                                             : Joined(texts.sExceptionPrefix, e.what());
    } catch (const std::bad_alloc& e) {
        return texts.sOutOfMemory != nullptr ? Joined(nullptr, texts.sOutOfMemory)
                                             : Joined(texts.sExceptionPrefix, e.what());
    } catch (const std::exception& e) {
        return Joined(texts.sExceptionPrefix, e.what());
    } catch (...) {
        return Joined(nullptr, texts.sUnknown);
    }
    return std::string();
}

}  // namespace NMexGlue

#endif

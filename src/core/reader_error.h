// How a reader fails. Each reading stage runs under RunStage, which turns any
// error raised inside it into the reader's one-line message, prefixed with the
// stage's name ("STL: ", "CreateModel: ", "3MF read error: " ...), and makes
// the stage return false. An exhausted memory reads "Out of memory.".
//
// TReaderError carries a complete message. Thrown inside a stage it is
// prefixed like any other error; thrown outside every stage it leaves
// LoadFromFile, and the caller's own handler deals with it (only a STEP file
// that cannot be opened does this).
#pragma once

#include <exception>
#include <new>
#include <stdexcept>
#include <string>

namespace voxaro {

class TReaderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raised where a size computed from file data cannot be had.
struct TOutOfMemory : std::bad_alloc {
    const char* what() const noexcept override { return "Out of memory."; }
};

constexpr const char kOutOfMemoryText[] = "Out of memory.";

// Runs stage() (which returns bool) and returns its result; an error raised
// inside it sets errorMsg to prefix + the error's text and gives false.
template <typename Stage> bool RunStage(std::string& errorMsg, const char* prefix, Stage&& stage)
{
    try {
        return stage();
    } catch (const std::bad_alloc&) {
        errorMsg = std::string(prefix) + kOutOfMemoryText;
    } catch (const std::length_error&) {
        errorMsg = std::string(prefix) + kOutOfMemoryText;
    } catch (const std::exception& e) {
        errorMsg = std::string(prefix) + e.what();
    }
    return false;
}

}  // namespace voxaro

// A picture file that appears whole or not at all: it is written under a
// temporary name in the folder of its final name and renamed at the end, so
// no reader ever sees a partial file and an abandoned one leaves nothing.
#pragma once

#include <string>

namespace voxaro {

class TOutputFile {
public:
    TOutputFile() = default;
    ~TOutputFile() { Discard(); }
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // Makes the temporary file beside path (readable as a new file would be
    // under the umask); when path is a symbolic link, beside the file it
    // points at, which the picture then replaces. False with Error() set when
    // the folder refuses it.
    bool Create(const std::string& path);
    // Where to write the contents.
    const std::string& TempPath() const { return Temp_; }
    // Renames the temporary file to the final name (replacing a file there).
    bool Commit();
    // Removes the temporary file, if it is still there.
    void Discard();
    const std::string& Error() const { return Error_; }

private:
    std::string Path_;
    std::string Temp_;
    std::string Error_;
};

}  // namespace voxaro

// Helpers for tests that need files: a private temporary folder per test
// process and byte-exact writers.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace voxaro::test {

// Folder for this test process, created on first use, removed at exit.
std::string TempDir();
// Writes bytes to TempDir()/name and returns the full path.
std::string WriteTempFile(const std::string& name, const std::string& bytes);
// Path of a file in tests/data.
std::string DataFile(const std::string& name);
std::string ReadFileBytes(const std::string& path);
std::wstring Wide(const std::string& utf8);

// Runs body on a thread of its own and waits for it at most seconds. A body
// that is still running then (a hang) cannot be stopped: the failure is
// reported and the test program ends at once.
void RunWithTimeout(double seconds, const char* what, std::function<void()> body);

}  // namespace voxaro::test

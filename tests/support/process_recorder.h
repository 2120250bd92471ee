#pragma once
// Records the programs the platform would start, instead of starting them, while it lives.
#include <qcore/platform/win32/shell.h>

#include <string>
#include <vector>

namespace qcore::test {

class ProcessRecorder {
public:
    ProcessRecorder() {
        previous_ =
            set_process_start_handler([this](const std::vector<std::string>& argv, const std::string&) {
                started.push_back(argv);
                return DWORD{ERROR_SUCCESS};
            });
    }
    ~ProcessRecorder() { set_process_start_handler(std::move(previous_)); }
    ProcessRecorder(const ProcessRecorder&) = delete;
    ProcessRecorder& operator=(const ProcessRecorder&) = delete;

    std::vector<std::vector<std::string>> started;

private:
    ProcessStartHandler previous_;
};

} // namespace qcore::test

#include <qcore/qcore.h>

#include <cstdio>

int main() {
    gCore core;
    int id = core.log->add_log(LOG_INFO, "consumer", " linked", nullptr);
    CString text = core.log->get_last_log_msg();
    std::printf("%s (id %d)\n", static_cast<const char*>(text), id);
    return text == "consumer linked" ? 0 : 1;
}

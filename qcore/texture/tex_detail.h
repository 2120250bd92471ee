#pragma once
// Small helpers the texture classes share: integer nodes and load-error log entries.
#include <qcore/core/core.h>
#include <qcore/data/pak_file.h>

namespace qcore::detail {

inline void put_int_node(CPakNode* dir, const char* name, int value) {
    dir->create_data_node(name, NODE_INT, &value);
}

// A log entry "subject" + text + more at LOG_ERROR, when the core has a log.
inline void log_tex_error(const gCore* core, const char* subject, const char* text,
                          const char* more = nullptr) {
    if (core && core->log) core->log->add_log(LOG_ERROR, subject, text, more);
}

} // namespace qcore::detail

// A progress bar on stderr, drawn only when stderr is a terminal.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace kvbhost {

class Progress {
public:
    Progress(std::int64_t total, bool show) : total_(total), show_(show && isatty(2)) {}
    void update(std::int64_t done) {
        if (!show_ || total_ <= 0) return;
        const int percent = static_cast<int>(100 * done / total_);
        if (percent == last_) return;
        last_ = percent;
        const int width = 40, filled = percent * width / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                     width - filled, "", percent);
        if (percent == 100) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    std::int64_t total_;
    bool show_;
    int last_ = -1;
};

}  // namespace kvbhost

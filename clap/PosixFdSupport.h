// The posix-fd-support extension of CLAP, which the header copy we build
// against does not carry: a host that offers it watches file descriptors in
// its own run loop and tells the plug-in when one is ready. Declared here as
// its public documentation gives it; the glue registers the editor's X11
// connection with it, and the test host offers it.
#pragma once

#include <clap/plugin.h>

static CLAP_CONSTEXPR const char CLAP_EXT_POSIX_FD_SUPPORT[] = "clap.posix-fd-support";

#ifdef __cplusplus
extern "C" {
#endif

// What is watched (register_fd, modify_fd) and what happened (on_fd).
enum {
    CLAP_POSIX_FD_READ = 1 << 0,
    CLAP_POSIX_FD_WRITE = 1 << 1,
    CLAP_POSIX_FD_ERROR = 1 << 2,
};
typedef uint32_t clap_posix_fd_flags_t;

typedef struct clap_plugin_posix_fd_support {
    // [main-thread] The descriptor is ready (level-triggered).
    void(CLAP_ABI* on_fd)(const clap_plugin_t* plugin, int fd, clap_posix_fd_flags_t flags);
} clap_plugin_posix_fd_support_t;

typedef struct clap_host_posix_fd_support {
    // [main-thread] Each answers true on success.
    bool(CLAP_ABI* register_fd)(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags);
    bool(CLAP_ABI* modify_fd)(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags);
    bool(CLAP_ABI* unregister_fd)(const clap_host_t* host, int fd);
} clap_host_posix_fd_support_t;

#ifdef __cplusplus
}
#endif

// What kvb gui and kvb screenshot share on every platform: their arguments,
// the plug-in loaded with the command line's settings and resumed, and its
// editor opened in a parent window of the platform's own. Each step prints its own message and
// answers an exit code, 0 when all is well.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/Commands.h"
#include "host/DemoSignal.h"
#include "host/ParamOptions.h"
#include "host/PluginHost.h"

namespace kvbhost {

class PluginSession {
public:
    explicit PluginSession(const char* name) : command(name) {}
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;
    ~PluginSession() { stop(); }

    // The plug-in's setup from the command line, and --scale. Answers 0, or
    // 2 after saying why not.
    int takeArgs(const CommandLine& line) {
        if (int rc = scaleOf(line)) return rc;
        return pluginSetupOf(line, setup);
    }

    // --scale S: the editor's scale, told as a desktop tells a VST 2.4
    // plug-in's editor, through QT_SCALE_FACTOR in the environment (kvb
    // hosts the plug-in's VST 2.4 build). Without it the desktop's own holds.
    int scaleOf(const CommandLine& line) {
        if (!line.has("--scale")) return 0;
        const std::string text = line.value("--scale");
        char* end = nullptr;
        const double scale = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end || !(scale >= 0.5) || scale > 4.0) {
            std::fprintf(stderr, "%s: --scale takes a factor from 0.5 to 4 (1 = 100 %%), not '%s'\n",
                         commandPrefix(), text.c_str());
            return 2;
        }
#if defined(_WIN32)
        _putenv_s("GDK_SCALE", "");
        _putenv_s("QT_SCALE_FACTOR", text.c_str());
#else
        unsetenv("GDK_SCALE");
        setenv("QT_SCALE_FACTOR", text.c_str(), 1);
#endif
        return 0;
    }

    // Loads the plug-in, applies the settings and resumes it.
    int load() {
        if (int rc = loadPlugin(host, setup)) return rc;
        host.dispatch(vst::effSetSampleRate, 0, 0, nullptr, host.sampleRate);
        host.dispatch(vst::effSetBlockSize, 0, host.blockSize);
        host.dispatch(vst::effMainsChanged, 0, 1);
        return 0;
    }

    // The editor's size, from effEditGetRect.
    int editorSize(int& width, int& height) {
        vst::ERect* r = nullptr;
        if ((host.effect()->flags & vst::effFlagsHasEditor) == 0 ||
            host.dispatch(vst::effEditGetRect, 0, 0, &r) == 0 || !r || r->right <= r->left ||
            r->bottom <= r->top) {
            std::fprintf(stderr, "kvb %s: the plug-in has no editor\n", command);
            return 1;
        }
        width = r->right - r->left;
        height = r->bottom - r->top;
        return 0;
    }

    // Opens the editor in `parent` (an X11 window id or an HWND).
    int openEditor(void* parent) {
        if (host.dispatch(vst::effEditOpen, 0, 0, parent) == 0) {
            std::fprintf(stderr, "kvb %s: the plug-in's editor did not open\n", command);
            return 1;
        }
        editorOpen = true;
        return 0;
    }

    void closeEditor() {
        if (editorOpen) host.dispatch(vst::effEditClose);
        editorOpen = false;
    }

    // Closes the editor, suspends and unloads the plug-in.
    void stop() {
        closeEditor();
        if (host.effect()) host.dispatch(vst::effMainsChanged, 0, 0);
        host.unload();
    }

    const char* const command;
    PluginHost host;

private:
    PluginSetup setup;
    bool editorOpen = false;
};

// OUT.png and "--audio SECONDS" (default 1). Answers 0, or the exit code
// after printing why the arguments do not do.
inline int screenshotArgsOf(const CommandLine& line, std::string& out, double& seconds) {
    const std::string secondsText = line.value("--audio", "1");
    char* end = nullptr;
    seconds = std::strtod(secondsText.c_str(), &end);
    if (end == secondsText.c_str() || *end || !(seconds >= 0.0) || seconds > 600.0) {
        std::fprintf(stderr, "%s: --audio takes seconds from 0 to 600, not '%s'\n", commandPrefix(),
                     secondsText.c_str());
        return 2;
    }
    out = line.arguments()[0];
    return checkPictureName(out, "OUT");
}

}  // namespace kvbhost

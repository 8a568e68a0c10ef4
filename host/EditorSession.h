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

    // Takes --plugin, --demo and --set out of args; anything left is an error.
    int takeArgs(Args& args) {
        plugin = takePluginOption(args);
        if (takeFlag(args, "--demo")) settings = demoSettings();
        const std::vector<std::string> sets = takeSetOptions(args);
        settings.insert(settings.end(), sets.begin(), sets.end());
        if (args.empty()) return 0;
        if (unknownOptionLeft(args)) return 2;
        std::fprintf(stderr, "kvb %s: unexpected argument '%s'\n", command, args[0].c_str());
        return 2;
    }

    // Loads the plug-in, applies the settings and resumes it.
    int load() {
        if (!host.load(plugin)) {
            std::fprintf(stderr, "kvb %s: %s\n", command, host.error().c_str());
            return 1;
        }
        std::string error;
        if (!applySettings(host, settings, error)) {
            std::fprintf(stderr, "kvb %s: %s\n", command, error.c_str());
            return 2;
        }
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
    std::string plugin;
    std::vector<std::string> settings;
    bool editorOpen = false;
};

// Takes OUT.png and "--audio SECONDS" (default 1) out of args. Answers 0, or
// the exit code after printing why the arguments do not do.
inline int takeScreenshotArgs(Args& args, std::string& out, double& seconds) {
    std::string secondsText = "1";
    takeOption(args, "--audio", secondsText);
    char* end = nullptr;
    seconds = std::strtod(secondsText.c_str(), &end);
    if (end == secondsText.c_str() || *end || !(seconds >= 0.0) || seconds > 600.0) {
        std::fprintf(stderr, "kvb screenshot: --audio takes seconds from 0 to 600\n");
        return 2;
    }
    // The first argument that is neither an option nor the value of one.
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--set" || args[i] == "--plugin") {
            ++i;
            continue;
        }
        if (args[i].size() > 1 && args[i][0] == '-') continue;
        out = args[i];
        args.erase(args.begin() + static_cast<long>(i));
        return 0;
    }
    std::fprintf(stderr, "kvb screenshot: which file? (kvb screenshot OUT.png ...)\n");
    return 2;
}

}  // namespace kvbhost

// The built plug-in binary as a host sees it: loaded with dlopen, reached
// only through its exported entry points and the AEffect record. Also the
// kvb command-line host's answers, run as a separate process.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "host/PluginHost.h"
#include "tests/RunCommand.h"

using namespace vst;

namespace {

using Entry = AEffect* (*)(AudioMasterCallback);

intptr hostVersion = 2400;
int versionQueries = 0;

intptr plainHost(AEffect*, int32 opcode, int32, intptr, void*, float) {
    if (opcode == audioMasterVersion) {
        ++versionQueries;
        return hostVersion;
    }
    return 0;
}

struct Module {
    Module() : handle(dlopen(KVB_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL)) {}
    ~Module() {
        if (handle) dlclose(handle);
    }
    Entry entry(const char* name) const { return reinterpret_cast<Entry>(dlsym(handle, name)); }
    void* handle;
};

CommandResult run(const std::string& command) { return runCommand(command); }

std::string kvb(const std::string& args) { return std::string(KVB_HOST_PATH) + " " + args; }

}  // namespace

TEST(EntryPoints, BothNamesAreOneFunction) {
    Module m;
    ASSERT_NE(m.handle, nullptr) << dlerror();
    Entry a = m.entry("VSTPluginMain");
    Entry b = m.entry("main");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(a), reinterpret_cast<void*>(b));
    // Nothing else of ours is reachable by name.
    for (const char* hidden : {"createEffectInstance", "hInstance", "_ZN11Controlsgui12setParameterEif"})
        EXPECT_EQ(dlsym(m.handle, hidden), nullptr) << hidden;
}

TEST(EntryPoints, HostOfVersionZeroGetsNull) {
    Module m;
    hostVersion = 0;
    versionQueries = 0;
    EXPECT_EQ(m.entry("main")(plainHost), nullptr);
    EXPECT_EQ(versionQueries, 1);
    hostVersion = 2400;
}

TEST(EntryPoints, RecordReadsAsAHostExpects) {
    Module m;
    AEffect* e = m.entry("VSTPluginMain")(plainHost);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->uniqueID, 0x004B5642);
    EXPECT_EQ(e->flags, 0x11);
    EXPECT_EQ(e->initialDelay, 3);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->numParams, 51);
    EXPECT_EQ(e->numPrograms, 50);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->dispatcher(e, effGetVstVersion, 0, 0, nullptr, 0), 2400);
    EXPECT_EQ(e->dispatcher(e, effGetVendorVersion, 0, 0, nullptr, 0), 0);
    ASSERT_NE(e->processReplacing, nullptr);
    ASSERT_NE(e->setParameter, nullptr);
    e->setParameter(e, 5, 0.2f);
    EXPECT_EQ(e->getParameter(e, 5), 0.2f);
    EXPECT_EQ(e->getParameter(e, 51), 0.0f);
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0), 1);
}

TEST(EntryPoints, InstancesShareNoParameters) {
    Module m;
    AEffect* a = m.entry("main")(plainHost);
    AEffect* b = m.entry("main")(plainHost);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    a->setParameter(a, 0, 0.125f);
    a->dispatcher(a, effSetProgram, 0, 4, nullptr, 0);
    EXPECT_EQ(b->getParameter(b, 0), 1.0f);
    EXPECT_EQ(b->dispatcher(b, effGetProgram, 0, 0, nullptr, 0), 0);
    a->dispatcher(a, effClose, 0, 0, nullptr, 0);
    b->dispatcher(b, effClose, 0, 0, nullptr, 0);
}

TEST(Host, RecordsAutomationAndAnswersLikeARealHost) {
    kvbhost::PluginHost host;
    ASSERT_TRUE(host.load(KVB_PLUGIN_PATH)) << host.error();
    EXPECT_EQ(host.text(effGetEffectName), "KVB");
    EXPECT_TRUE(host.canDo("receiveVstEvents"));
    EXPECT_FALSE(host.canDo("sendVstEvents"));
    EXPECT_EQ(kvbhost::PluginHost::callback(nullptr, audioMasterVersion, 0, 0, nullptr, 0), 2400);
    char sizeWindow[] = "sizeWindow";
    EXPECT_EQ(kvbhost::PluginHost::callback(host.effect(), audioMasterCanDo, 0, 0, sizeWindow, 0), 1);
    EXPECT_EQ(kvbhost::PluginHost::callback(host.effect(), audioMasterPinConnected, 1, 0, nullptr, 0), 0);
    kvbhost::PluginHost::callback(host.effect(), audioMasterAutomate, 3, 0, nullptr, 0.5f);
    kvbhost::PluginHost::callback(host.effect(), audioMasterIdle, 0, 0, nullptr, 0);
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0].index, 3);
    EXPECT_EQ(host.idleCalls, 1);
}

// --- kvb info ------------------------------------------------------------------

TEST(KvbInfo, PrintsEverythingAHostLearns) {
    const CommandResult r = run(kvb("info --plugin " KVB_PLUGIN_PATH));
    ASSERT_EQ(r.status, 0) << r.out;
    for (const char* expected :
         {"Effect name:   KVB", "Product:       KVB", "'.KVB' (0x004B5642)", "Version:       1",
          "VST version:   2400", "Inputs:        2", "Outputs:       2", "Initial delay: 3",
          "Flags:         0x11 (HasEditor CanReplacing)", "Parameters:    51", "Programs:      50",
          "   0  OptThr1     1.000", "   3  DisAtk1     0.400", "  24  StereoMode  0.000",
          "  50  -           0.500", "  49  Default"})
        EXPECT_NE(r.out.find(expected), std::string::npos) << "missing: " << expected << "\n" << r.out;
}

TEST(KvbInfo, DefaultPluginIsTheOneBuiltNextToIt) {
    const CommandResult r = run(kvb("info"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("KVB_64"), std::string::npos);
}

TEST(KvbInfo, BadPluginsGiveOneClearLine) {
    const std::string dir = ::testing::TempDir();
    const std::string text = dir + "/not-a-plugin.so";
    std::ofstream(text) << "this is not a shared object\n";
    struct Case {
        std::string path;
        const char* says;
    } cases[] = {
        {dir + "/missing.so", "no plug-in file"},
        {text, "not a loadable shared object"},
        {KVB_NULL_ENTRY_PATH, "returned no effect"},
        {KVB_BAD_MAGIC_PATH, "wrong magic"},
        {"/usr/lib/x86_64-linux-gnu/libm.so.6", "no VST entry point"},
    };
    for (const Case& c : cases) {
        const CommandResult r = run(kvb("info --plugin " + c.path));
        EXPECT_NE(r.status, 0) << c.path;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    }
}

TEST(KvbInfo, UnknownCommandsAndArgumentsAreRefused) {
    EXPECT_NE(run(kvb("frobnicate")).status, 0);
    EXPECT_NE(run(kvb("info --plugin")).status, 0);
    EXPECT_NE(run(kvb("info extra")).status, 0);
}

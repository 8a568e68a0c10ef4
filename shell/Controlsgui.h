// The effect object: one per plug-in instance. It owns the program bank, the
// engine (the live parameter values and the signal processor) and, through
// its base, the editor. It is the VST 2.4 face of the engine: programs, the
// parameters' rules and texts as that interface has them.
#pragma once

#include <atomic>
#include <memory>

#include "engine/Engine.h"
#include "params/Parameters.h"
#include "params/Programs.h"
#include "shell/AudioEffect.h"

class EditorFactory;

constexpr vst::int32 kUniqueId = ('K' << 16) | ('V' << 8) | 'B';  // 0x004B5642
constexpr vst::int32 kInitialDelay = kvb::Engine::kLatency;
extern const char kEffectName[];
extern const char kVendorString[];

class Controlsgui : public AudioEffectX {
public:
    // With an editor from `editors`, when given.
    explicit Controlsgui(vst::AudioMasterCallback audioMaster,
                         const EditorFactory* editors = nullptr);
    ~Controlsgui() override;

    // effMainsChanged 0: no gain is reduced while processing is off, so the
    // meters are set to rest (0 dB) until processing resumes.
    void suspend() override;
    // effMainsChanged with a non-zero value: records whether input 1 is
    // connected, then asks the host for events (the MIDI can-do answers 1).
    void resume() override;
    // Ignores a rate that is zero, negative or not finite.
    void setSampleRate(float rate) override;

    // Audio thread. Allocates nothing, locks nothing.
    void processReplacing(float** inputs, float** outputs, vst::int32 frames) override;

    // Any thread. Indices outside 0 to 50 touch nothing (getParameter answers 0).
    void setParameter(vst::int32 index, float value) override;
    float getParameter(vst::int32 index) override;

    void setProgram(vst::int32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterDisplay(vst::int32 index, char* text) override;
    void getParameterName(vst::int32 index, char* text) override;
    bool string2parameter(vst::int32 index, char* text) override;
    bool getProgramNameIndexed(vst::int32 category, vst::int32 index, char* text) override;
    vst::int32 getNumMidiInputChannels() override { return 1; }
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    // The host's mouse-wheel message ('stCA', 'Whee', distance in opt).
    vst::intptr vendorSpecific(vst::int32 index, vst::intptr value, void* ptr, float opt) override;
    vst::int32 canDo(char* text) override;

    virtual void setUpProcessing();
    virtual void loadProgram(vst::int32 program);
    virtual void saveCurrentProgram();
    // The published gain reductions in dB; readable from any thread.
    virtual const std::atomic<float>* getMeter1Address() { return engine.meterAddress(0); }
    virtual const std::atomic<float>* getMeter2Address() { return engine.meterAddress(1); }

    const ControlsguiProgram& program(int index) const { return programs[index]; }
    // 1.0 or 0.0: the host's answer about input 1 at the last resume.
    float inputConnected() const { return inputConnected_; }
    const kvb::Engine& getEngine() const { return engine; }

private:
    std::unique_ptr<ControlsguiProgram[]> programs;
    // The live parameter values are the engine's.
    kvb::Engine engine;
    float inputConnected_ = 1.0f;
};

// The entry sequence: asks the host's version, builds the effect (with an
// editor from `editors`, when given) and answers its record, or null (host
// answers version 0, no callback, out of memory).
vst::AEffect* createEffectInstance(vst::AudioMasterCallback audioMaster,
                                   const EditorFactory* editors = nullptr);

// The two effect base classes. They fill the AEffect record the host holds,
// turn the host's opcodes into the virtual operations below (all opcode
// handling lives in dispatch.cpp) and wrap the host callback in named calls.
//
// Threads: the host calls the dispatcher and the editor on its user-interface
// thread and processReplacing on its audio thread; setParameter and
// getParameter may arrive on either. The base classes take no locks.
#pragma once

#include <atomic>

#include "interface/vst24.h"

class AEffEditor;

class AudioEffect {
public:
    AudioEffect(vst::AudioMasterCallback audioMaster, vst::int32 numPrograms, vst::int32 numParams);
    virtual ~AudioEffect();

    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // effOpen / effClose, host UI thread, once after creation and before destruction.
    virtual void open() {}
    virtual void close() {}

    // Programs, host UI thread. setProgram is reached only for 0 <= index < numPrograms.
    virtual void setProgram(vst::int32 program) { curProgram = program; }
    virtual vst::int32 getProgram() { return curProgram; }
    virtual void setProgramName(char* /*name*/) {}
    virtual void getProgramName(char* name) { name[0] = 0; }

    // Parameter texts, host UI thread.
    virtual void getParameterLabel(vst::int32 /*index*/, char* label) { label[0] = 0; }
    virtual void getParameterDisplay(vst::int32 /*index*/, char* text) { text[0] = 0; }
    virtual void getParameterName(vst::int32 /*index*/, char* text) { text[0] = 0; }

    // effSetSampleRate / effSetBlockSize, host UI thread, while suspended.
    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(vst::int32 size) { blockSize = size; }

    // effMainsChanged: value 0 suspends, anything else resumes.
    virtual void suspend() {}
    virtual void resume() {}

    // Chunks: not offered by this base.
    virtual vst::int32 getChunk(void** /*data*/, bool /*isPreset*/) { return 0; }
    virtual vst::int32 setChunk(void* /*data*/, vst::int32 /*size*/, bool /*isPreset*/) { return 0; }

    // Audio thread.
    virtual void process(float** /*inputs*/, float** /*outputs*/, vst::int32 /*frames*/) {}
    virtual void processReplacing(float** /*inputs*/, float** /*outputs*/, vst::int32 /*frames*/) {}
    virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                        vst::int32 /*frames*/) {}

    // Any thread.
    virtual void setParameter(vst::int32 /*index*/, float /*value*/) {}
    virtual float getParameter(vst::int32 /*index*/) { return 0.0f; }
    // The editor calls this when the user moves a control: sets the parameter,
    // then tells the host so that it can record automation.
    virtual void setParameterAutomated(vst::int32 index, float value);

    // Opcodes 0 to 24; anything else answers 0.
    virtual vst::intptr dispatcher(vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr,
                                   float opt);

    // Host calls (each answers neutrally without a host callback).
    virtual vst::int32 getMasterVersion();
    virtual vst::int32 getCurrentUniqueId();
    virtual void masterIdle();
    virtual bool isInputConnected(vst::int32 input);
    virtual bool isOutputConnected(vst::int32 output);

    // Setters of the record's properties.
    virtual void setUniqueID(vst::int32 id) { cEffect.uniqueID = id; }
    virtual void setNumInputs(vst::int32 inputs) { cEffect.numInputs = inputs; }
    virtual void setNumOutputs(vst::int32 outputs) { cEffect.numOutputs = outputs; }
    virtual void setInitialDelay(vst::int32 delay) { cEffect.initialDelay = delay; }
    virtual void canProcessReplacing(bool state = true) { setFlag(vst::effFlagsCanReplacing, state); }
    virtual void canDoubleReplacing(bool state = true) {
        setFlag(vst::effFlagsCanDoubleReplacing, state);
    }
    virtual void programsAreChunks(bool state = true) { setFlag(vst::effFlagsProgramChunks, state); }
    virtual void setEditor(AEffEditor* newEditor);

    virtual vst::AEffect* getAeffect() { return &cEffect; }
    virtual AEffEditor* getEditor() { return editor; }
    float getSampleRate() const { return sampleRate; }
    vst::int32 getBlockSize() const { return blockSize; }

protected:
    void setFlag(vst::int32 flag, bool state) {
        cEffect.flags = state ? (cEffect.flags | flag) : (cEffect.flags & ~flag);
    }
    vst::intptr callHost(vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0,
                         void* ptr = nullptr, float opt = 0.0f);

    vst::AudioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;
    float sampleRate = 44100.0f;
    vst::int32 blockSize = 1024;
    vst::int32 numPrograms;
    vst::int32 numParams;
    // Read by setParameter on whatever thread calls it.
    std::atomic<vst::int32> curProgram{0};
    vst::AEffect cEffect;
};

class AudioEffectX : public AudioEffect {
public:
    using AudioEffect::AudioEffect;

    // Opcodes 25 to 79; anything else goes to AudioEffect::dispatcher.
    vst::intptr dispatcher(vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr,
                           float opt) override;

    // Asks the host for events when the effect is a synth or takes MIDI.
    void resume() override;

    virtual vst::int32 processEvents(void* /*events*/) { return 0; }
    virtual bool canParameterBeAutomated(vst::int32 /*index*/) { return true; }
    virtual bool string2parameter(vst::int32 /*index*/, char* /*text*/) { return false; }
    virtual bool getProgramNameIndexed(vst::int32 /*category*/, vst::int32 /*index*/,
                                       char* /*text*/) {
        return false;
    }
    virtual vst::int32 getPlugCategory();
    virtual bool getEffectName(char* /*name*/) { return false; }
    virtual bool getVendorString(char* /*text*/) { return false; }
    virtual bool getProductString(char* /*text*/) { return false; }
    virtual vst::int32 getVendorVersion() { return 0; }
    virtual vst::intptr vendorSpecific(vst::int32 /*index*/, vst::intptr /*value*/, void* /*ptr*/,
                                       float /*opt*/) {
        return 0;
    }
    virtual vst::int32 canDo(char* /*text*/) { return 0; }
    virtual vst::int32 getTailSize() { return 0; }
    virtual vst::int32 getVstVersion() { return 2400; }
    virtual vst::int32 getNumMidiInputChannels() { return 0; }
    virtual vst::int32 getNumMidiOutputChannels() { return 0; }
    virtual vst::int32 getCurrentMidiProgram() { return -1; }

    virtual void isSynth(bool state = true) { setFlag(vst::effFlagsIsSynth, state); }
    virtual void noTail(bool state = true) { setFlag(vst::effFlagsNoSoundInStop, state); }

    // Host calls.
    virtual bool wantEvents(vst::int32 filter = 1);
    virtual bool canHostDo(char* text);
    virtual bool sizeWindow(vst::int32 width, vst::int32 height);
    virtual bool beginEdit(vst::int32 index);
    virtual bool endEdit(vst::int32 index);
};

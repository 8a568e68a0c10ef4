// The LV2 user interface: the plug-in's own editor, embedded in the host's
// window (ui:parent) and driven by the host's idle calls. The processing runs
// in another binary, possibly in another process: the UI keeps the values the
// host last told it, and is the editor's host:
//
//   editor -> host:  a user's edit    -> write_function (the host records it)
//                    gesture start/end -> ui:touch, when the host offers it
//   host -> editor:  parameter ports  -> the control moves
//                    meter ports      -> the needles move
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "editor/ControlsguiEditor.h"
#include "lv2/Ports.h"
#include "platform/Module.h"
#include "resources/SkinResources.h"

using namespace kvblv2;

namespace {

class Ui final : private EditorHost {
public:
    Ui(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch,
       const VSTGUI::ModuleResources& skin)
        : write_(write), controller_(controller), touch_(touch), editor_(*this, skin) {
        for (int i = 0; i < kNumParams; ++i) values_[i] = parameterDefault(i);
    }
    ~Ui() { editor_.close(); }

    ControlsguiEditor& editor() { return editor_; }

    // port_event, the host's UI thread: a parameter port's value or a meter's.
    void portChanged(std::uint32_t port, float value) {
        if (isParamPort(port)) {
            values_[port] = portValue(value);
            editor_.parameterChanged(static_cast<int>(port));
        } else if (port == kMeter1Port || port == kMeter2Port) {
            meters_[port - kMeter1Port] = value;
        }
    }

private:
    // Only the parameter ports are the host's to write; the editor's meter
    // controls (tags 26 and 27) keep their values here.
    void beginEdit(int index) override { touch(index, true); }
    void endEdit(int index) override { touch(index, false); }
    void performEdit(int index, float value) override {
        if (index < 0 || index >= kNumParams) return;
        values_[index] = value;
        if (isParamPort(static_cast<std::uint32_t>(index)))
            write_(controller_, static_cast<std::uint32_t>(index), sizeof(float), 0, &value);
    }
    float parameter(int index) const override {
        return index >= 0 && index < kNumParams ? values_[index] : 0.0f;
    }
    float meter(int which) const override { return meters_[which == 1 ? 1 : 0]; }

    void touch(int index, bool grabbed) {
        if (touch_ && index >= 0 && isParamPort(static_cast<std::uint32_t>(index)))
            touch_->touch(touch_->handle, static_cast<std::uint32_t>(index), grabbed);
    }

    LV2UI_Write_Function write_;
    LV2UI_Controller controller_;
    const LV2UI_Touch* touch_;
    float values_[kNumParams];
    float meters_[2] = {0.0f, 0.0f};
    ControlsguiEditor editor_;
};

const void* featureData(const LV2_Feature* const* features, const char* uri) {
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if (std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
    return nullptr;
}

// lv2ui:instantiate, the host's UI thread: the editor, open in the host's
// parent window, or null (not our plug-in, no parent, no memory, no window).
LV2UI_Handle instantiate(const LV2UI_Descriptor* /*descriptor*/, const char* pluginUri,
                         const char* /*bundle*/, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
    if (!pluginUri || std::strcmp(pluginUri, kPluginUri) != 0 || !write || !widget) return nullptr;
    void* parent = const_cast<void*>(featureData(features, LV2_UI__parent));
    if (!parent) return nullptr;

    // The editor shows the skin bound into this module.
    static const skin::ModuleSkin skin(hInstance);
    Ui* ui = nullptr;
    try {
        ui = new Ui(write, controller, static_cast<const LV2UI_Touch*>(featureData(features, LV2_UI__touch)),
                    skin);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    ControlsguiEditor& editor = ui->editor();
    if (!editor.open(parent) || !editor.getFrame()) {
        delete ui;
        return nullptr;
    }
    *widget = editor.getFrame()->getNativeWindow();
    if (const auto* resize = static_cast<const LV2UI_Resize*>(featureData(features, LV2_UI__resize)))
        resize->ui_resize(resize->handle, editor.width(), editor.height());
    return ui;
}

// lv2ui:cleanup, the host's UI thread.
void cleanup(LV2UI_Handle handle) { delete static_cast<Ui*>(handle); }

// lv2ui:port_event, the host's UI thread: float values of the control ports.
void portEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    if (format != 0 || size != sizeof(float) || !buffer) return;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    static_cast<Ui*>(handle)->portChanged(port, value);
}

// ui:idleInterface, the host's UI thread, repeatedly while the UI is shown.
int idle(LV2UI_Handle handle) {
    static_cast<Ui*>(handle)->editor().idle();
    return 0;
}

const LV2UI_Idle_Interface kIdle = {idle};

const void* extensionData(const char* uri) {
    return uri && std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &kIdle : nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

// The LV2 user interface: the plug-in's own editor, embedded in the host's
// window (ui:parent) and driven by the host's idle calls. The processing runs
// in another binary, possibly in another process: the UI keeps the values the
// host last told it, and is the editor's host:
//
//   editor -> host:  a user's edit    -> write_function (the host records it)
//                    gesture start/end -> ui:touch, when the host offers it
//   host -> editor:  parameter ports  -> the control moves
//                    meter ports      -> the needles move
//                    ui:scaleFactor   -> the editor's scale (an option at
//                                        instantiation, or set later through
//                                        opts:interface; ui:resize follows)
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

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

    // The host's URIDs of what the options speak of (0: unknown).
    LV2_URID scaleFactorKey = 0;
    LV2_URID floatType = 0;
    LV2_URID doubleType = 0;
    const LV2UI_Resize* resize = nullptr;

    // Takes ui:scaleFactor from a host's list of options (ended by a key 0);
    // answers whether it was there and a number. An open editor that changes
    // size tells the host through ui:resize.
    bool takeOptions(const LV2_Options_Option* options) {
        bool taken = false;
        for (const LV2_Options_Option* o = options; o && o->key != 0; ++o) {
            if (!scaleFactorKey || o->key != scaleFactorKey || !o->value) continue;
            double factor = 0.0;
            if (o->type == floatType && o->size == sizeof(float)) {
                float v;
                std::memcpy(&v, o->value, sizeof v);
                factor = v;
            } else if (o->type == doubleType && o->size == sizeof(double)) {
                std::memcpy(&factor, o->value, sizeof factor);
            } else {
                continue;
            }
            if (!(factor > 0.0) || factor > 100.0) continue;
            taken = true;
            if (editor_.setScale(factor) && editor_.isOpen() && resize)
                resize->ui_resize(resize->handle, editor_.width(), editor_.height());
        }
        return taken;
    }

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
    if (const auto* map = static_cast<const LV2_URID_Map*>(featureData(features, LV2_URID__map))) {
        ui->scaleFactorKey = map->map(map->handle, LV2_UI__scaleFactor);
        ui->floatType = map->map(map->handle, LV2_ATOM__Float);
        ui->doubleType = map->map(map->handle, LV2_ATOM__Double);
    }
    ui->takeOptions(static_cast<const LV2_Options_Option*>(featureData(features, LV2_OPTIONS__options)));
    if (!editor.open(parent) || !editor.getFrame()) {
        delete ui;
        return nullptr;
    }
    *widget = editor.getFrame()->getNativeWindow();
    ui->resize = static_cast<const LV2UI_Resize*>(featureData(features, LV2_UI__resize));
    if (ui->resize) ui->resize->ui_resize(ui->resize->handle, editor.width(), editor.height());
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

// opts:interface, the host's UI thread: a new ui:scaleFactor while open.
// Nothing is there to get.
std::uint32_t getOptions(LV2_Handle /*handle*/, LV2_Options_Option* /*options*/) {
    return LV2_OPTIONS_ERR_UNKNOWN;
}
std::uint32_t setOptions(LV2_Handle handle, const LV2_Options_Option* options) {
    return static_cast<Ui*>(handle)->takeOptions(options) ? LV2_OPTIONS_SUCCESS : LV2_OPTIONS_ERR_UNKNOWN;
}

const LV2_Options_Interface kOptions = {getOptions, setOptions};

const void* extensionData(const char* uri) {
    if (!uri) return nullptr;
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdle;
    if (std::strcmp(uri, LV2_OPTIONS__interface) == 0) return &kOptions;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

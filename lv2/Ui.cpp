// The LV2 user interface: the plug-in's own editor, embedded in the host's
// window (ui:parent) and driven by the host's idle calls. The processing runs
// in another binary, possibly in another process, so the UI keeps an effect
// object of its own that plays the processing's part towards the editor, and
// a host callback that turns the editor's requests into LV2 calls:
//
//   editor -> host:  automation       -> write_function (the host records it)
//                    begin/end edit   -> ui:touch, when the host offers it
//   host -> editor:  parameter ports  -> setParameter (moves the control)
//                    meter ports      -> publishMeters (moves the needles)
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "lv2/Ports.h"
#include "shell/Controlsgui.h"
#include "vstgui/aeffguieditor.h"

using namespace kvblv2;

namespace {

struct Ui {
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Touch* touch = nullptr;
    vst::AEffect* record = nullptr;
    Controlsgui* effect = nullptr;
    float meters[2] = {0.0f, 0.0f};
};

Ui* uiOf(vst::AEffect* record) { return record ? static_cast<Ui*>(record->user) : nullptr; }

// The editor's requests. Only the parameter ports are the host's to write;
// the editor's meter controls (tags 26 and 27) and anything else stay here.
vst::intptr editorHost(vst::AEffect* record, vst::int32 opcode, vst::int32 index,
                       vst::intptr /*value*/, void* /*ptr*/, float opt) {
    if (opcode == vst::audioMasterVersion) return 2400;
    Ui* ui = uiOf(record);
    if (!ui || index < 0 || !isParamPort(static_cast<std::uint32_t>(index))) return 0;
    const auto port = static_cast<std::uint32_t>(index);
    switch (opcode) {
    case vst::audioMasterAutomate:
        ui->write(ui->controller, port, sizeof(float), 0, &opt);
        return 0;
    case vst::audioMasterBeginEdit:
    case vst::audioMasterEndEdit:
        if (!ui->touch) return 0;
        ui->touch->touch(ui->touch->handle, port, opcode == vst::audioMasterBeginEdit);
        return 1;
    default: return 0;
    }
}

const void* featureData(const LV2_Feature* const* features, const char* uri) {
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if (std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
    return nullptr;
}

void destroy(Ui* ui) {
    if (ui->record) {
        ui->record->dispatcher(ui->record, vst::effEditClose, 0, 0, nullptr, 0.0f);
        ui->record->dispatcher(ui->record, vst::effClose, 0, 0, nullptr, 0.0f);
    }
    delete ui;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor* /*descriptor*/, const char* pluginUri,
                         const char* /*bundle*/, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
    if (!pluginUri || std::strcmp(pluginUri, kPluginUri) != 0 || !write || !widget) return nullptr;
    void* parent = const_cast<void*>(featureData(features, LV2_UI__parent));
    if (!parent) return nullptr;

    Ui* ui = new (std::nothrow) Ui;
    if (!ui) return nullptr;
    ui->write = write;
    ui->controller = controller;
    ui->touch = static_cast<const LV2UI_Touch*>(featureData(features, LV2_UI__touch));
    ui->record = createEffectInstance(editorHost);
    if (!ui->record) {
        destroy(ui);
        return nullptr;
    }
    ui->record->user = ui;
    ui->effect = static_cast<Controlsgui*>(static_cast<AudioEffect*>(ui->record->object));

    auto* editor = dynamic_cast<VSTGUI::AEffGUIEditor*>(ui->effect->getEditor());
    vst::ERect* rect = nullptr;
    if (!editor || ui->record->dispatcher(ui->record, vst::effEditGetRect, 0, 0, &rect, 0.0f) == 0 ||
        !rect || ui->record->dispatcher(ui->record, vst::effEditOpen, 0, 0, parent, 0.0f) == 0 ||
        !editor->getFrame()) {
        destroy(ui);
        return nullptr;
    }
    *widget = editor->getFrame()->getNativeWindow();
    if (const auto* resize = static_cast<const LV2UI_Resize*>(featureData(features, LV2_UI__resize)))
        resize->ui_resize(resize->handle, rect->right - rect->left, rect->bottom - rect->top);
    return ui;
}

void cleanup(LV2UI_Handle handle) { destroy(static_cast<Ui*>(handle)); }

void portEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    auto* ui = static_cast<Ui*>(handle);
    if (format != 0 || size != sizeof(float) || !buffer) return;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    if (isParamPort(port)) {
        ui->effect->setParameter(static_cast<vst::int32>(port), portValue(value));
    } else if (port == kMeter1Port || port == kMeter2Port) {
        ui->meters[port - kMeter1Port] = value;
        ui->effect->publishMeters(ui->meters[0], ui->meters[1]);
    }
}

int idle(LV2UI_Handle handle) {
    auto* ui = static_cast<Ui*>(handle);
    ui->record->dispatcher(ui->record, vst::effEditIdle, 0, 0, nullptr, 0.0f);
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

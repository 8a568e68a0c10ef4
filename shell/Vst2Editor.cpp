#include "shell/Vst2Editor.h"

#include "shell/Controlsgui.h"

Vst2Editor::Vst2Editor(Controlsgui* owner, const VSTGUI::ModuleResources& skin)
    : AEffEditor(owner), kvb(owner), editor_(*this, skin) {}

Vst2Editor::~Vst2Editor() { editor_.close(); }

bool Vst2Editor::getRect(vst::ERect** r) {
    // Hosts may ask at every idle: the desktop is asked once while closed.
    if (!systemWindow && !scaleKnown) {
        editor_.setScale(VSTGUI::platform::desktopScale(nullptr));
        scaleKnown = true;
    }
    const bool ok = editor_.getRect(r);
    reportedWidth = editor_.width();
    reportedHeight = editor_.height();
    return ok;
}

bool Vst2Editor::open(void* parent) {
    systemWindow = parent;
    editor_.setScale(VSTGUI::platform::desktopScale(parent));
    scaleKnown = false;  // asked again once closed: the desktop may change
    if (!editor_.open(parent)) {
        systemWindow = nullptr;
        return false;
    }
    // The host made its window at the size it was told; the parent's
    // monitor may want another.
    if (reportedWidth && (editor_.width() != reportedWidth || editor_.height() != reportedHeight))
        kvb->sizeWindow(editor_.width(), editor_.height());
    return true;
}

void Vst2Editor::close() {
    editor_.close();
    systemWindow = nullptr;
}

void Vst2Editor::beginEdit(int index) { kvb->beginEdit(index); }
void Vst2Editor::performEdit(int index, float value) { kvb->setParameterAutomated(index, value); }
void Vst2Editor::endEdit(int index) { kvb->endEdit(index); }
float Vst2Editor::parameter(int index) const { return kvb->getParameter(index); }
float Vst2Editor::meter(int which) const {
    return (which == 0 ? kvb->getMeter1Address() : kvb->getMeter2Address())->load(std::memory_order_relaxed);
}
void Vst2Editor::idleHost() { kvb->masterIdle(); }

// The window went to a monitor of another DPI: the editor takes its scale and
// asks the host for the new size.
void Vst2Editor::desktopScaleChanged() {
    if (!systemWindow || !editor_.setScale(VSTGUI::platform::desktopScale(systemWindow))) return;
    reportedWidth = editor_.width();
    reportedHeight = editor_.height();
    kvb->sizeWindow(editor_.width(), editor_.height());
}

void Vst2EditorFactory::createEditor(AudioEffect* effect) const {
    // Only the plug-in's own effect has the meters the editor shows.
    if (auto* kvb = dynamic_cast<Controlsgui*>(effect)) new Vst2Editor(kvb, module);
}

#include "ui/windows/layer_windows.h"

#include "app/layer_properties.h"
#include "common/text.h"
#include "render/code_render.h"
#include "ui/editor_context.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <string_view>

namespace torvale {

namespace {

constexpr int kCodeWindowHeight = 409;

} // namespace

CodeLayerWindow::CodeLayerWindow(EditorContext& context, QWidget* owner)
    : LayerWindow(context, owner, kCodeWindowHeight, "codeLayerWindow", LayerType::Code)
{
    // The names the batch's balloons and the tests find the controls by.
    demoField()->setObjectName(QStringLiteral("demoField"));
    noBackgroundBox()->setObjectName(QStringLiteral("noBackgroundBox"));
}

QCheckBox* CodeLayerWindow::noBackgroundBox() const
{
    return static_cast<QCheckBox*>(fieldControl("codeBackground", ControlKind::Check));
}

void CodeLayerWindow::fillOwnControls(const Layer& layer)
{
    enableControls(layer);
}

void CodeLayerWindow::fieldWritten(const LayerFieldInfo& field)
{
    const Layer* target = layer();
    if (!target)
        return;
    enableControls(*target);
    if (field.group == FieldDemo || std::string_view(field.member) == "codeType")
        checkCode();
}

void CodeLayerWindow::enableControls(const Layer& layer)
{
    errorLevelBox()->setEnabled(codeTypeHasErrorLevel(layer.codeType));
    showTextBox()->setEnabled(isLinearCode(layer.codeType));
    // Without a background the card shows between the bars; the swatch is then out of use.
    backgroundSwatch()->setEnabled(!layer.codeBackground.empty());
    backgroundSwatch()->update();
}

void CodeLayerWindow::checkCode()
{
    const Layer* target = layer();
    if (!target)
        return;
    if (const auto warning = checkCodeLayer(*target))
        m_context.balloons().show(demoField(), QString::fromStdString(warning->title),
                                  QString::fromStdString(warning->text));
}

} // namespace torvale

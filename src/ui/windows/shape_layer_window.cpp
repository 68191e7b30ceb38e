#include "ui/windows/layer_windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace torvale {

namespace {

constexpr int kShapeWindowHeight = 331;

} // namespace

ShapeLayerWindow::ShapeLayerWindow(EditorContext& context, QWidget* owner)
    : LayerWindow(context, owner, kShapeWindowHeight, "shapeLayerWindow", LayerType::Shape)
{
    noFillBox()->setObjectName(QStringLiteral("noFillBox"));
}

QCheckBox* ShapeLayerWindow::noFillBox() const
{
    return static_cast<QCheckBox*>(fieldControl("htmlColor", ControlKind::Check));
}

void ShapeLayerWindow::fillOwnControls(const Layer& layer)
{
    enableControls(layer);
}

void ShapeLayerWindow::fieldWritten(const LayerFieldInfo&)
{
    if (const Layer* target = layer())
        enableControls(*target);
}

void ShapeLayerWindow::enableControls(const Layer& layer)
{
    radiusField()->setEnabled(layer.shapeKind == ShapeKind::Rectangle);
    fillSwatch()->setEnabled(!layer.htmlColor.empty());
    fillSwatch()->update();
}

} // namespace torvale

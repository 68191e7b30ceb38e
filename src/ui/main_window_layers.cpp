#include "ui/main_window.h"

#include "ui/layer_panel.h"

#include <QMenu>

namespace torvale {

void MainWindow::buildLayerMenus()
{
    const auto add = [this](QMenu* menu, const char* text, CommandId id, bool checkable = false) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setData(static_cast<int>(id));
        action->setCheckable(checkable);
        connect(action, &QAction::triggered, this, [this, id] { execute(id); });
    };

    m_layerMenu = new QMenu(this);
    add(m_layerMenu, "新建 \t字", CommandId::NewTextLayer);
    add(m_layerMenu, "新建 \t图", CommandId::NewPictureLayer);
    m_layerMenu->addSeparator();
    add(m_layerMenu, "插入 \t字", CommandId::InsertTextLayer);
    add(m_layerMenu, "插入 \t图", CommandId::InsertPictureLayer);
    m_layerMenu->addSeparator();
    add(m_layerMenu, "复制", CommandId::CopyLayers);
    add(m_layerMenu, "删除", CommandId::DeleteLayers);
    m_layerMenu->addSeparator();
    QMenu* level = m_layerMenu->addMenu(QStringLiteral("层次"));
    add(level, "背景上方", CommandId::LevelAbove, true);
    add(level, "背景下方", CommandId::LevelBelow, true);
    QMenu* overflow = m_layerMenu->addMenu(QStringLiteral("溢出样式"));
    add(overflow, "等比例缩小", CommandId::OverflowShrink, true);
    add(overflow, "等比例缩放", CommandId::OverflowScale, true);
    add(overflow, "填充式缩放", CommandId::OverflowFill, true);
    add(overflow, "裁剪左上角", CommandId::OverflowCropTopLeft, true);
    add(overflow, "裁剪正中间", CommandId::OverflowCropCentre, true);

    m_layerTypeMenu = new QMenu(this);
    add(m_layerTypeMenu, "字", CommandId::LayerTypeText, true);
    add(m_layerTypeMenu, "图", CommandId::LayerTypePicture, true);

    m_layerPanel->setMenus(m_layerMenu, m_layerTypeMenu);
}

bool MainWindow::handleLayerCommand(CommandId id)
{
    if (const auto level = layerLevelOf(id)) {
        m_document.setLevelOfMarked(*level);
        return true;
    }
    if (const auto style = overflowStyleOf(id)) {
        m_document.setOverflowOfMarked(*style);
        return true;
    }
    switch (id) {
    case CommandId::NewTextLayer:
        m_layerPanel->newLayer(LayerType::Text);
        return true;
    case CommandId::NewPictureLayer:
        m_layerPanel->newLayer(LayerType::Picture);
        return true;
    case CommandId::InsertTextLayer:
        m_layerPanel->insertLayer(LayerType::Text);
        return true;
    case CommandId::InsertPictureLayer:
        m_layerPanel->insertLayer(LayerType::Picture);
        return true;
    case CommandId::CopyLayers:
        m_layerPanel->copyMarkedLayers();
        return true;
    case CommandId::DeleteLayers:
        m_layerPanel->deleteSelectedLayers();
        return true;
    case CommandId::LayerTypeText:
        m_layerPanel->setCurrentLayerType(LayerType::Text);
        return true;
    case CommandId::LayerTypePicture:
        m_layerPanel->setCurrentLayerType(LayerType::Picture);
        return true;
    default:
        return false;
    }
}

} // namespace torvale

#include "ui/main/main_window.h"

#include "app/layer_commands.h"
#include "ui/canvas/canvas_view.h"
#include "ui/panels/layer_panel.h"

#include <QMenu>
#include <numeric>

namespace torvale {

// The canvas controller gives its "图层 n" entries the raw ids of this range.

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
    add(m_layerMenu, "新建 \t码", CommandId::NewCodeLayer);
    add(m_layerMenu, "新建 \t形", CommandId::NewShapeLayer);
    m_layerMenu->addSeparator();
    add(m_layerMenu, "插入 \t字", CommandId::InsertTextLayer);
    add(m_layerMenu, "插入 \t图", CommandId::InsertPictureLayer);
    add(m_layerMenu, "插入 \t码", CommandId::InsertCodeLayer);
    add(m_layerMenu, "插入 \t形", CommandId::InsertShapeLayer);
    m_layerMenu->addSeparator();
    add(m_layerMenu, "复制", CommandId::CopyLayers);
    add(m_layerMenu, "删除", CommandId::DeleteLayers);
    m_layerMenu->addSeparator();
    QMenu* level = m_levelMenu = m_layerMenu->addMenu(QStringLiteral("层次"));
    add(level, "背景上方", CommandId::LevelAbove, true);
    add(level, "背景下方", CommandId::LevelBelow, true);
    QMenu* overflow = m_overflowMenu = m_layerMenu->addMenu(QStringLiteral("溢出样式"));
    add(overflow, "等比例缩小", CommandId::OverflowShrink, true);
    add(overflow, "等比例缩放", CommandId::OverflowScale, true);
    add(overflow, "填充式缩放", CommandId::OverflowFill, true);
    add(overflow, "裁剪左上角", CommandId::OverflowCropTopLeft, true);
    add(overflow, "裁剪正中间", CommandId::OverflowCropCentre, true);
    add(overflow, "等比例填满", CommandId::OverflowCover, true);

    m_layerTypeMenu = new QMenu(this);
    add(m_layerTypeMenu, "字", CommandId::LayerTypeText, true);
    add(m_layerTypeMenu, "图", CommandId::LayerTypePicture, true);

    m_layerPanel->setMenus(m_layerMenu, m_layerTypeMenu);
}

void MainWindow::registerLayerCommands()
{
    const auto layerCommand = [this](CommandId id, auto action) {
        m_commands.add(id, [this, action] { action(m_document, m_state); });
    };
    layerCommand(CommandId::NewTextLayer, [](auto& d, auto& s) { newLayer(d, s, LayerType::Text); });
    layerCommand(CommandId::NewPictureLayer,
                 [](auto& d, auto& s) { newLayer(d, s, LayerType::Picture); });
    layerCommand(CommandId::NewCodeLayer,
                 [](auto& d, auto& s) { newLayer(d, s, LayerType::Code); });
    layerCommand(CommandId::InsertTextLayer,
                 [](auto& d, auto& s) { insertLayer(d, s, LayerType::Text); });
    layerCommand(CommandId::InsertPictureLayer,
                 [](auto& d, auto& s) { insertLayer(d, s, LayerType::Picture); });
    layerCommand(CommandId::InsertCodeLayer,
                 [](auto& d, auto& s) { insertLayer(d, s, LayerType::Code); });
    layerCommand(CommandId::NewShapeLayer,
                 [](auto& d, auto& s) { newLayer(d, s, LayerType::Shape); });
    layerCommand(CommandId::InsertShapeLayer,
                 [](auto& d, auto& s) { insertLayer(d, s, LayerType::Shape); });
    layerCommand(CommandId::CopyLayers, [](auto& d, auto& s) { copyMarkedLayers(d, s); });
    layerCommand(CommandId::DeleteLayers, [](auto& d, auto& s) { deleteMarkedLayers(d, s); });
    layerCommand(CommandId::LayerTypeText,
                 [](auto& d, auto& s) { setCurrentLayerType(d, s, LayerType::Text); });
    layerCommand(CommandId::LayerTypePicture,
                 [](auto& d, auto& s) { setCurrentLayerType(d, s, LayerType::Picture); });
    layerCommand(CommandId::SelectAllLayers, [](auto& d, auto& s) {
        std::vector<std::size_t> rows(d.tpl().layers.size());
        std::iota(rows.begin(), rows.end(), std::size_t{0});
        selectLayerRows(s, d.tpl().layers, rows);
    });
    const auto canvasCommand = [this](CommandId id, auto action) {
        m_commands.add(id, [this, action] { m_canvas->apply(action(m_canvas->controller())); });
    };
    for (const ArrangeEntry& entry : kArrangeEntries)
        canvasCommand(entry.id, [arrangement = entry.arrangement](auto& c) {
            return c.arrange(arrangement);
        });
    // "图层 %d" of the canvas's context menu.
    m_commands.addRange(kPickLayerCommands, [this](std::size_t i) {
        m_canvas->controller().pickLayerNumber(static_cast<int>(i) + 1);
    });

    for (CommandId id : {CommandId::LevelAbove, CommandId::LevelBelow})
        layerCommand(id, [level = *layerLevelOf(id)](auto& d, auto& s) {
            d.setLayerLevel(s.marked(), level);
        });
    for (CommandId id :
         {CommandId::OverflowShrink, CommandId::OverflowScale, CommandId::OverflowFill,
          CommandId::OverflowCropTopLeft, CommandId::OverflowCropCentre, CommandId::OverflowCover})
        layerCommand(id, [style = *overflowStyleOf(id)](auto& d, auto& s) {
            d.setLayerOverflow(s.marked(), style);
        });
}

} // namespace torvale

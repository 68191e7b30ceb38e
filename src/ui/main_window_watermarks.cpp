#include "ui/main_window.h"

#include "ui/canvas_view.h"
#include "ui/watermark_panel.h"

#include <QScrollBar>
#include <filesystem>

namespace torvale {

// The canvas controller gives its "水印 n" entries the raw ids of this range.
static_assert(kPickWatermarkCommands.first == static_cast<CommandId>(kPickWatermarkBase + 1) &&
              kPickWatermarkCommands.size() == kPickRange - 1);

void MainWindow::registerWatermarkCommands()
{
    m_commands.add(CommandId::NewWatermark, [this] { addWatermark(false); });
    m_commands.add(CommandId::InsertWatermark, [this] { addWatermark(true); });
    m_commands.add(CommandId::EditWatermark, [this] { editWatermark(); });
    m_commands.add(CommandId::ChangeWatermarkPicture, [this] { replaceWatermarkPicture(); });
    m_commands.add(CommandId::DeleteWatermark, [this] { deleteWatermark(); });
    m_commands.add(CommandId::WatermarkPanel, [this] {
        m_watermarkPanelShown = !m_watermarkPanelShown;
        m_watermarkPanelAction->setChecked(m_watermarkPanelShown);
        stackPanels();
    });
    // "水印 %d" of the canvas's context menu selects that watermark.
    m_commands.addRange(kPickWatermarkCommands, [this](std::size_t i) {
        m_canvas->controller().pickWatermarkNumber(static_cast<int>(i) + 1);
    });
}

std::optional<std::pair<std::string, WatermarkPicture>> MainWindow::chooseWatermarkPicture()
{
    std::filesystem::path& folder =
        m_document.settings().dialogFolders[static_cast<int>(DialogFolder::ChooseWatermark)];
    while (true) {
        FileDialogRequest request{"选择水印图片", "图片格式 (*.PNG;*.JPG;*.GIF)",
                                  "*.PNG;*.JPG;*.JPEG;*.GIF", folder.string(), "", {}};
        request.moreFilters = {{"PNG图片 (*.PNG)", "*.PNG"},
                               {"JPG图片 (*.JPG)", "*.JPG;*.JPEG"},
                               {"GIF图片 (*.GIF)", "*.GIF"}};
        const auto path = m_prompts.openFile(request);
        if (!path || path->empty())
            return std::nullopt;
        folder = std::filesystem::path(*path).parent_path();
        std::optional<std::string> problem = watermarkExtensionProblem(*path);
        WatermarkPicture picture;
        if (!problem) {
            picture = checkWatermarkPicture(*path);
            problem = picture.problem;
        }
        if (problem) {
            m_prompts.message("提示", PromptIcon::Warning, *problem, PromptButtons::Ok);
            continue;
        }
        return std::pair{*path, picture};
    }
}

void MainWindow::addWatermark(bool insert)
{
    const Watermark* current = m_state.current();
    const auto row = current ? m_state.watermarks.indexOf(current->id) : std::nullopt;
    if (insert && !row)
        return;
    const auto chosen = chooseWatermarkPicture();
    if (!chosen)
        return;
    // It starts at the card point in the view's top left corner.
    Watermark watermark;
    watermark.x = static_cast<std::int32_t>(m_canvas->horizontalScrollBar()->value() /
                                            m_canvas->zoom());
    watermark.y =
        static_cast<std::int32_t>(m_canvas->verticalScrollBar()->value() / m_canvas->zoom());
    watermark.width = chosen->second.width;
    watermark.height = chosen->second.height;
    watermark.filePath = chosen->first;
    const std::uint32_t id = m_state.watermarks.insert(
        insert ? *row : m_state.watermarks.items().size(), std::move(watermark));
    m_canvas->loadWatermarkPicture(id);
    m_watermarkPanel->refreshRows();
    selectWatermark(m_state, id);
}

void MainWindow::editWatermark()
{
    const Watermark* current = m_state.current();
    if (!current)
        return;
    if (const auto position = m_watermarkDialog->run(*current)) {
        m_state.watermarks.move(current->id, position->first, position->second);
        m_state.mode = CanvasMode::WatermarkSelected;
        m_state.drag = DragKind::None;
        m_watermarkPanel->refreshRows();
        m_canvas->scrollIntoView();
        m_canvas->viewport()->update();
    }
    m_canvas->setFocus();
}

void MainWindow::replaceWatermarkPicture()
{
    const Watermark* current = m_state.current();
    if (!current)
        return;
    const std::uint32_t id = current->id;
    const auto chosen = chooseWatermarkPicture();
    if (!chosen)
        return;
    // The position stays, even where the new picture no longer fits the card.
    m_state.watermarks.replacePicture(id, chosen->first, chosen->second.width,
                                      chosen->second.height);
    m_canvas->loadWatermarkPicture(id);
    m_watermarkPanel->refreshRows();
    setStatusText(2, QString::fromStdString(
                         sizeStatusText(chosen->second.width, chosen->second.height)));
    m_canvas->viewport()->update();
}

void MainWindow::deleteWatermark()
{
    const Watermark* current = m_state.current();
    if (!current)
        return;
    const std::uint32_t id = current->id;
    const std::size_t row = *m_state.watermarks.remove(id);
    m_canvas->dropWatermarkPicture(id);
    const auto& items = m_state.watermarks.items();
    std::optional<std::uint32_t> next;
    if (!items.empty())
        next = items[std::min(row, items.size() - 1)].id;
    m_watermarkPanel->refreshRows();
    selectWatermark(m_state, next);
    m_canvas->viewport()->update();
}

} // namespace torvale

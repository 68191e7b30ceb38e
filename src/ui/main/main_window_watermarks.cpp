#include "ui/main/main_window.h"

#include "ui/canvas/canvas_view.h"
#include "ui/panels/watermark_panel.h"

#include <QScrollBar>
#include <filesystem>

namespace torvale {

// The canvas controller gives its "水印 n" entries the raw ids of this range.

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
        const auto path = prompts().openFile(request);
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
            prompts().message("提示", PromptIcon::Warning, *problem, PromptButtons::Ok);
            continue;
        }
        return std::pair{*path, picture};
    }
}

void MainWindow::addWatermark(bool insert)
{
    const Watermark* current = state().current();
    const auto row = current ? state().watermarks.indexOf(current->id) : std::nullopt;
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
    const std::uint32_t id = state().watermarks.insert(
        insert ? *row : state().watermarks.items().size(), std::move(watermark));
    m_context->watermarksChanged.notify();
    selectWatermark(state(), id);
}

void MainWindow::editWatermark()
{
    const Watermark* current = state().current();
    if (!current)
        return;
    if (const auto position = m_watermarkDialog->run(*current)) {
        state().watermarks.move(current->id, position->first, position->second);
        state().mode = CanvasMode::WatermarkSelected;
        state().drag = DragKind::None;
        m_context->watermarksChanged.notify();
        m_canvas->scrollIntoView();
    }
    m_canvas->setFocus();
}

void MainWindow::replaceWatermarkPicture()
{
    const Watermark* current = state().current();
    if (!current)
        return;
    const std::uint32_t id = current->id;
    const auto chosen = chooseWatermarkPicture();
    if (!chosen)
        return;
    // The position stays, even where the new picture no longer fits the card.
    state().watermarks.replacePicture(id, chosen->first, chosen->second.width,
                                      chosen->second.height);
    m_context->watermarksChanged.notify();
    setStatusText(2, QString::fromStdString(
                         sizeStatusText(chosen->second.width, chosen->second.height)));
}

void MainWindow::deleteWatermark()
{
    const Watermark* current = state().current();
    if (!current)
        return;
    const std::uint32_t id = current->id;
    const std::size_t row = *state().watermarks.remove(id);
    const auto& items = state().watermarks.items();
    std::optional<std::uint32_t> next;
    if (!items.empty())
        next = items[std::min(row, items.size() - 1)].id;
    m_context->watermarksChanged.notify();
    selectWatermark(state(), next);
}

} // namespace torvale

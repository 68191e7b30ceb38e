#pragma once

#include "app/desktop_shortcut.h"
#include "ui/panels/background_panel.h"
#include "ui/balloon.h"
#include "ui/canvas/canvas_view.h"
#include "ui/panels/data_source_panel.h"
#include "ui/main/event_filter.h"
#include "ui/panels/layer_panel.h"
#include "ui/windows/log_window.h"
#include "ui/panels/output_panel.h"
#include "ui/dialogs/qt_prompts.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <cstdlib>
#include <filesystem>
#include "ui/ui_fixture.h"

#include <ostream>
#include <string>
#include <vector>

namespace torvale::test {

/// A menu entry: its text ("-" for a separator) and command id (0 when it has none).
struct Item {
    std::string text; // "-" for a separator
    int id;           // 0 when the item has none
};

inline std::vector<Item> itemsOf(const QMenu* menu)
{
    std::vector<Item> items;
    for (const QAction* action : menu->actions()) {
        const int id = action->data().toInt();
        if (action->isSeparator())
            items.push_back({"-", id});
        else
            items.push_back({action->text().toStdString(), id});
    }
    return items;
}

inline bool operator==(const Item& a, const Item& b)
{
    return a.text == b.text && a.id == b.id;
}
inline void PrintTo(const Item& item, std::ostream* out)
{
    *out << item.text << " " << item.id;
}

class MainWindowTest : public UiTest {
protected:
    QMenu* menu(int index) const { return window->menuBar()->actions().at(index)->menu(); }
    QMenu* fileMenu() const { return menu(0); }

    QAction* actionWithId(const QMenu* inMenu, CommandId id) const
    {
        for (QAction* action : inMenu->actions()) {
            if (action->data().toInt() == static_cast<int>(id))
                return action;
        }
        return nullptr;
    }

    std::vector<std::string> recentEntries() const
    {
        std::vector<std::string> texts;
        for (const QAction* action : fileMenu()->actions()) {
            const int id = action->data().toInt();
            if (id >= static_cast<int>(CommandId::RecentFirst) &&
                id <= static_cast<int>(CommandId::RecentLast))
                texts.push_back(action->text().toStdString());
        }
        return texts;
    }

    std::vector<std::string> checkedItems(QMenu* popup) const
    {
        emit popup->aboutToShow();
        std::vector<std::string> texts;
        for (const QAction* action : popup->actions()) {
            if (action->isChecked())
                texts.push_back(action->text().toStdString());
        }
        return texts;
    }

    void addLayer() { document->addLayer(LayerType::Text); }

    /// Saves the template as a new file through "另存为".
    std::string saveAs(const std::string& name)
    {
        prompts.answerFile(dir.file(name));
        window->execute(CommandId::SaveTemplateAs);
        return dir.file(name.size() >= 4 && name.substr(name.size() - 4) == ".dat" ? name
                                                                                   : name + ".dat");
    }

    const AskedPrompt& lastAsked() const { return prompts.asked().back(); }
};

} // namespace torvale::test

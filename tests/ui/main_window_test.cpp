#include "common/build_info.h"
#include "ui/main_window_fixture.h"
#include "ui/user_guide.h"
#include "ui/windows/log_window.h"

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
#include <QScreen>
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

namespace torvale::test {
namespace {

TEST_F(MainWindowTest, StartsWithTheNewTemplateAndTheCanvasSizeToType)
{
    EXPECT_EQ(window->windowTitle().toStdString(), "Torvale - 新模版[*]");
    // Start-up chooses "自定义" as a click does: the width field takes the focus, text selected.
    BackgroundPanel& background = *window->backgroundPanel();
    EXPECT_TRUE(background.customRadio()->isChecked());
    EXPECT_EQ(window->focusWidget(), background.widthField());
    EXPECT_EQ(background.widthField()->selectedText(), "800");
}

TEST_F(MainWindowTest, ACommandNobodyHandlesIsAFault)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(window->execute(static_cast<CommandId>(1)), "unknown command 1");
}

TEST_F(MainWindowTest, MenusHaveTheTextsAndIdsOfTheTable)
{
    const auto titles = window->menuBar()->actions();
    ASSERT_EQ(titles.size(), 4);
    EXPECT_EQ(titles[0]->text().toStdString(), "文件(&F)");
    EXPECT_EQ(titles[1]->text().toStdString(), "编辑(&E)");
    EXPECT_EQ(titles[2]->text().toStdString(), "设置(&O)");
    EXPECT_EQ(titles[3]->text().toStdString(), "帮助(&H)");

    EXPECT_EQ(itemsOf(menu(0)), (std::vector<Item>{{"新建(&N)\tCtrl+N", 35200},
                                                   {"按标准尺寸新建...", 35350},
                                                   {"打开(&O)...\tCtrl+O", 35201},
                                                   {"-", 0},
                                                   {"保存(&S)...\tCtrl+S", 35202},
                                                   {"另存为(&A)...", 35203},
                                                   {"-", 0},
                                                   {"检查数据(&C)...", 35430},
                                                   {"打印排版(&P)...", 35424},
                                                   {"-", 35206},
                                                   {"退出(&X)", 35204}}));
    EXPECT_EQ(itemsOf(menu(1)),
              (std::vector<Item>{{"撤销\tCtrl+Z", 35422}, {"重做\tCtrl+Y", 35423}}));
    EXPECT_EQ(itemsOf(menu(2)),
              (std::vector<Item>{
                  {"字体文件映射...", 35409}, {"水印面板", 35421}, {"-", 0},
                  {"处理完成后弹出提示对话框", 35408}, {"-", 0}, {"吸附对齐", 35428}}));
    EXPECT_EQ(itemsOf(menu(3)), (std::vector<Item>{{"使用指南", 35216},
                                                   {"-", 0},
                                                   {"在桌面创建快捷启动方式", 35217},
                                                   {"-", 0},
                                                   {"官方网站", 35218},
                                                   {"关于(&A)...", 35219}}));
    QAction* alert = actionWithId(menu(2), CommandId::CompletedAlert);
    EXPECT_TRUE(alert->isCheckable());
    EXPECT_TRUE(alert->isChecked());
}

TEST_F(MainWindowTest, PopUpMenusOfZoomAndDpi)
{
    EXPECT_EQ(itemsOf(window->popupMenu("zoom")), (std::vector<Item>{{"25%", 35319},
                                                                     {"50%", 35320},
                                                                     {"75%", 35321},
                                                                     {"100%", 35322},
                                                                     {"200%", 35323},
                                                                     {"300%", 35324},
                                                                     {"400%", 35325},
                                                                     {"500%", 35326},
                                                                     {"600%", 35327},
                                                                     {"700%", 35328},
                                                                     {"800%", 35329},
                                                                     {"-", 0},
                                                                     {"适合窗口\tCtrl+0", 35349}}));
    EXPECT_EQ(itemsOf(window->popupMenu("dpi")), (std::vector<Item>{{"自定义...", 35330},
                                                                    {"-", 0},
                                                                    {"350 dpi", 35331},
                                                                    {"300 dpi", 35332},
                                                                    {"150 dpi", 35333},
                                                                    {"120 dpi", 35334},
                                                                    {" 96 dpi", 35335},
                                                                    {" 72 dpi", 35336}}));
}

TEST_F(MainWindowTest, AcceleratorsCarryTheirCommands)
{
    std::map<std::string, int> shortcuts;
    for (QAction* action : window->findChildren<QAction*>()) {
        if (!action->shortcut().isEmpty())
            shortcuts[action->shortcut().toString().toStdString()] = action->data().toInt();
    }
    EXPECT_EQ(shortcuts["Ctrl+N"], 35200);
    EXPECT_EQ(shortcuts["Ctrl+O"], 35201);
    EXPECT_EQ(shortcuts["Ctrl+S"], 35202);
    EXPECT_EQ(shortcuts["F2"], 131);
    EXPECT_EQ(shortcuts["Ctrl+Z"], 35422);
    EXPECT_EQ(shortcuts["Ctrl+Y"], 35423);

    // F2 toggles the log from the main window and from the log window itself: one shortcut.
    QApplication::setActiveWindow(window.get());
    QTest::keyClick(window.get(), Qt::Key_F2);
    ASSERT_TRUE(window->logWindow()->isVisible());
    QApplication::setActiveWindow(window->logWindow());
    QTest::keyClick(window->logWindow(), Qt::Key_F2);
    EXPECT_FALSE(window->logWindow()->isVisible());
}

TEST_F(MainWindowTest, CustomDpi)
{
    prompts.answerFile(std::optional<std::string>("1200"));
    window->execute(CommandId::CustomDpi);
    EXPECT_EQ(lastAsked().kind, "input");
    EXPECT_EQ(lastAsked().caption, "DPI 自定义");
    EXPECT_EQ(lastAsked().text, "输入一个自定义的 DPI：");
    EXPECT_EQ(document->dpi(), 1200);
    EXPECT_EQ(window->statusText(4).toStdString(), "\t1200 dpi");

    prompts.answerFile(std::optional<std::string>("1201"));
    prompts.answerMessage(PromptAnswer::Ok);
    window->execute(CommandId::CustomDpi);
    EXPECT_EQ(lastAsked().caption, "提示");
    EXPECT_EQ(lastAsked().icon, PromptIcon::Warning);
    EXPECT_EQ(lastAsked().text, "DPI 不能大于 1200");
    EXPECT_EQ(document->dpi(), 1200);

    prompts.answerFile(std::optional<std::string>("0"));
    prompts.answerMessage(PromptAnswer::Ok);
    window->execute(CommandId::CustomDpi);
    EXPECT_EQ(lastAsked().text, "DPI 不能小于 1");
    EXPECT_EQ(document->dpi(), 1200);

    prompts.answerFile(std::optional<std::string>());
    window->execute(CommandId::CustomDpi);
    EXPECT_EQ(document->dpi(), 1200);
    std::int32_t stored = 0;
    ASSERT_TRUE(store->readSettingNumber(kSettingsKey, "dpi", stored));
    EXPECT_EQ(stored, 1200);
}

TEST_F(MainWindowTest, ZoomMenuChecksTheCurrentLevel)
{
    EXPECT_EQ(checkedItems(window->popupMenu("zoom")), (std::vector<std::string>{"100%"}));
    window->execute(static_cast<CommandId>(35323));
    EXPECT_EQ(window->canvas()->zoom(), 2.0);
    EXPECT_EQ(window->statusText(3).toStdString(), "200%");
    EXPECT_EQ(checkedItems(window->popupMenu("zoom")), (std::vector<std::string>{"200%"}));
    window->canvas()->setZoom(1.5);
    EXPECT_EQ(window->statusText(3).toStdString(), "150%");
    EXPECT_TRUE(checkedItems(window->popupMenu("zoom")).empty());

    // 适合窗口 (Ctrl+0): the whole card in view, at a zoom of its own.
    EXPECT_EQ(actionWithId(window->popupMenu("zoom"), CommandId::ZoomToFit)->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_0));
    document->setBackgroundSize("3000", "500");
    window->execute(CommandId::ZoomToFit);
    QApplication::processEvents(); // the scroll bars go once the view is laid out again
    CanvasView* canvas = window->canvas();
    const double fitted = canvas->zoom();
    EXPECT_LT(fitted, 1);
    EXPECT_EQ(canvas->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(window->statusText(3), QStringLiteral("%1%").arg(static_cast<int>(fitted * 100)));
    const int room = canvas->viewport()->width() - 2 * CanvasView::kMargin;
    EXPECT_LE(fitted * 3000, room);
    EXPECT_GT(fitted * 3000, room - 4); // thousandths of a zoom are 3 pixels here
}

TEST_F(MainWindowTest, DpiMenuChecksTheCurrentPreset)
{
    window->execute(CommandId::Dpi300);
    EXPECT_EQ(document->dpi(), 300);
    EXPECT_EQ(window->statusText(4).toStdString(), "\t300 dpi");
    EXPECT_EQ(checkedItems(window->popupMenu("dpi")), (std::vector<std::string>{"300 dpi"}));
    window->execute(CommandId::Dpi96);
    EXPECT_EQ(checkedItems(window->popupMenu("dpi")), (std::vector<std::string>{" 96 dpi"}));
    document->setDpi(200);
    EXPECT_TRUE(checkedItems(window->popupMenu("dpi")).empty());
}

TEST_F(MainWindowTest, StatusBarHasSixPartsAndIconsOnTheFirstFour)
{
    const int widths[] = {200, 200, 200, 60, 60};
    for (int part = 0; part < 6; ++part) {
        SCOPED_TRACE(part);
        auto* box =
            window->statusBar()->findChild<QWidget*>(QStringLiteral("statusPart%1").arg(part));
        ASSERT_TRUE(box);
        if (part < 5) {
            EXPECT_EQ(box->width(), widths[part]);
        }
        auto* icon = box->findChild<QLabel*>(QStringLiteral("statusIcon%1").arg(part));
        if (part >= 4) {
            EXPECT_FALSE(icon);
            continue;
        }
        ASSERT_TRUE(icon);
        const QImage image = icon->pixmap().toImage();
        EXPECT_EQ(image.size(), QSize(16, 16));
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y)
            for (int x = 0; x < image.width() && !drawn; ++x)
                drawn = qAlpha(image.pixel(x, y)) > 0;
        EXPECT_TRUE(drawn);
    }
    // A click on the zoom part's icon opens the zoom menu as a click on its text does.
    QTest::mouseClick(window->statusBar()->findChild<QLabel*>(QStringLiteral("statusIcon3")),
                      Qt::LeftButton);
    EXPECT_TRUE(window->popupMenu("zoom")->isVisible());
    window->popupMenu("zoom")->hide();
}

TEST_F(MainWindowTest, SettingsColumnTakesAScrollBarOnlyWhileTheStackDoesNotFit)
{
    QScrollArea* column = window->settingsColumn();
    const int stack = column->widget()->height();
    const auto resizeTo = [&](int height) {
        window->resize(1280, height);
        QApplication::processEvents();
    };
    const auto expectPlacedAtTheRight = [&] {
        const QWidget* client = window->centralWidget();
        EXPECT_EQ(column->mapTo(client, QPoint(0, 0)).y(), 7);
        EXPECT_EQ(column->mapTo(client, QPoint(0, 0)).x() + column->width(), client->width());
    };

    resizeTo(stack + 300);
    EXPECT_EQ(column->width(), 406);
    EXPECT_EQ(column->verticalScrollBar()->maximum(), 0);
    expectPlacedAtTheRight();

    resizeTo(window->minimumHeight());
    ASSERT_LT(column->viewport()->height(), stack);
    EXPECT_EQ(column->width(), 406 + column->verticalScrollBar()->sizeHint().width());
    EXPECT_GT(column->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(column->verticalScrollBar()->singleStep(), 21);
    expectPlacedAtTheRight();
    // Panels 16 apart, the start button 2 more; the column scrolls 7 past the stack.
    const QWidget* panels[] = {window->backgroundPanel(), window->dataSourcePanel(),
                               window->layerPanel(), window->outputPanel(), window->startButton()};
    EXPECT_EQ(panels[0]->y(), 0);
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(panels[i]->y(), panels[i - 1]->y() + panels[i - 1]->height() + 16 + (i == 4) * 2);
    const int total = panels[4]->y() + panels[4]->height();
    EXPECT_EQ(stack, total);
    EXPECT_EQ(column->verticalScrollBar()->maximum(), total + 7 - column->viewport()->height());

    resizeTo(stack + 300);
    EXPECT_EQ(column->width(), 406);
}

TEST_F(MainWindowTest, WindowCannotBeMadeSmallerThanItsMinimum)
{
    window->resize(300, 200);
    QApplication::processEvents();
    EXPECT_GE(window->width(), 780);
    EXPECT_GE(window->height(), window->menuBar()->sizeHint().height() + 500);
}

TEST_F(MainWindowTest, AWindowThatWentIsNoLongerToldOfDocumentChanges)
{
    {
        MainWindow other(*document, fonts(), prompts);
    }
    // Both change kinds reach every view of the document; the gone window must not be asked.
    window->execute(CommandId::NewTemplate);
    ASSERT_TRUE(document->setDpi(300));
    EXPECT_EQ(window->statusText(4).toStdString(), "\t300 dpi");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Torvale - 新模版[*]"));
}

TEST_F(MainWindowTest, AtMostSevenBalloonsStayOpenAndDeactivationClosesThem)
{
    BalloonManager& balloons = window->balloons();
    for (int i = 1; i <= 7; ++i)
        balloons.show(window->startButton(), QStringLiteral("t"), QString::number(i));
    EXPECT_EQ(balloons.open().size(), 7u);
    balloons.show(window->startButton(), QStringLiteral("t"), QStringLiteral("8"));
    ASSERT_EQ(balloons.open().size(), 1u);
    EXPECT_EQ(balloons.open().front()->text(), QStringLiteral("8"));

    window->activateWindow();
    if (!QTest::qWaitFor([&] { return window->isActiveWindow(); }, 1000))
        GTEST_SKIP() << "the platform does not activate windows";
    QWidget other;
    other.show();
    other.activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isActiveWindow(); }, 1000));
    EXPECT_TRUE(balloons.open().empty());
}

TEST_F(MainWindowTest, ClickingTheStatusPartsOpensTheirMenus)
{
    auto* zoomPart = window->statusBar()->findChild<QWidget*>(QStringLiteral("statusPart3"));
    auto* dpiPart = window->statusBar()->findChild<QWidget*>(QStringLiteral("statusPart4"));
    ASSERT_TRUE(zoomPart && dpiPart);
    QTest::mouseClick(zoomPart, Qt::LeftButton);
    EXPECT_TRUE(window->popupMenu("zoom")->isVisible());
    window->popupMenu("zoom")->hide();
    QTest::mouseClick(dpiPart, Qt::RightButton);
    EXPECT_TRUE(window->popupMenu("dpi")->isVisible());
    window->popupMenu("dpi")->hide();
}

TEST_F(MainWindowTest, AboutBox)
{
    prompts.answerMessage(PromptAnswer::Ok);
    window->execute(CommandId::About);
    EXPECT_EQ(lastAsked().caption, "关于");
    EXPECT_EQ(lastAsked().icon, PromptIcon::Information);
    const std::string bits = std::to_string(sizeof(void*) * 8);
    const std::string version = QString::number(kVersionNumber, 'f', 1).toStdString();
    // The last line is the address of the guide's "about" part, a local file.
    EXPECT_EQ(lastAsked().text, "Torvale V" + version + " (" + bits +
                                    "位)\n\n\n设计图片模版，批量制作工牌、工作证、胸牌图片。\n" +
                                    userGuideUrl(QStringLiteral("about")).toString().toStdString());
    EXPECT_TRUE(userGuideUrl().isLocalFile());
}

TEST_F(MainWindowTest, CompletedAlertToggles)
{
    QAction* alert = actionWithId(menu(2), CommandId::CompletedAlert);
    alert->trigger();
    EXPECT_FALSE(document->settings().completed_alert);
    EXPECT_FALSE(alert->isChecked());
    std::int32_t stored = 1;
    ASSERT_TRUE(store->readSettingNumber(kSettingsKey, "completed_alert", stored));
    EXPECT_EQ(stored, 0);
    alert->trigger();
    EXPECT_TRUE(document->settings().completed_alert);
    EXPECT_TRUE(alert->isChecked());
    ASSERT_TRUE(store->readSettingNumber(kSettingsKey, "completed_alert", stored));
    EXPECT_EQ(stored, 1);
}

TEST_F(MainWindowTest, SnappingIsOnByDefaultAndTogglesItsSetting)
{
    QAction* snapping = actionWithId(menu(2), CommandId::Snapping);
    ASSERT_NE(snapping, nullptr);
    EXPECT_TRUE(snapping->isCheckable());
    EXPECT_TRUE(snapping->isChecked());
    snapping->trigger();
    EXPECT_FALSE(document->settings().snapping);
    EXPECT_FALSE(snapping->isChecked());
    std::int32_t stored = 1;
    ASSERT_TRUE(store->readSettingNumber(kSettingsKey, "snap_to_guides", stored));
    EXPECT_EQ(stored, 0);
    snapping->trigger();
    EXPECT_TRUE(document->settings().snapping);
    EXPECT_TRUE(snapping->isChecked());
}

TEST_F(MainWindowTest, FontMappingOpensItsDialogWithoutAQuestion)
{
    QString opened;
    QTimer::singleShot(0, window.get(), [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            opened = dialog->windowTitle();
            dialog->reject();
        }
    });
    window->execute(CommandId::FontMapping);
    EXPECT_EQ(opened, QStringLiteral("字体文件映射"));
    EXPECT_TRUE(prompts.asked().empty());
}

TEST_F(MainWindowTest, LogWindowAppendsTimeStampedLines)
{
    LogWindow& log = *window->logWindow();
    EXPECT_FALSE(log.isVisible());
    EXPECT_EQ(log.windowTitle().toStdString(), "信息 - F2");
    // Each line ends in "\r\n" after the message, whose own "\r\n" make lines too (the write
    // error's reason; an empty line after a message ending in one); a lone "\n" does not.
    window->appendLog("first\r\n");
    window->appendLog("second:\r\nreason");
    window->appendLog("third\n");
    EXPECT_TRUE(log.isVisible());
    const QRegularExpression form(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d first\\n\\n"
                                                 "\\d\\d:\\d\\d:\\d\\d second:\\nreason\\n"
                                                 "\\d\\d:\\d\\d:\\d\\d third\\n$"));
    EXPECT_TRUE(form.match(log.text()).hasMatch()) << log.text().toStdString();

    // F2 toggles.
    window->execute(CommandId::ToggleLog);
    EXPECT_FALSE(log.isVisible());
    window->execute(CommandId::ToggleLog);
    EXPECT_TRUE(log.isVisible());

    // Closing clears and hides.
    log.close();
    EXPECT_FALSE(log.isVisible());
    EXPECT_TRUE(log.text().isEmpty());
    window->appendLog("again");
    EXPECT_TRUE(log.isVisible());
}

TEST_F(MainWindowTest, FileShortcutsWorkFromTheLogWindow)
{
    window->execute(CommandId::NewTextLayer); // modified: a new template asks first
    LogWindow& log = *window->logWindow();
    log.show();
    log.activateWindow();
    QApplication::setActiveWindow(&log);
    prompts.answerMessage(PromptAnswer::Cancel);
    QTest::keyClick(&log, Qt::Key_N, Qt::ControlModifier);
    ASSERT_EQ(prompts.asked().size(), 1u);
    EXPECT_EQ(lastAsked().text, "当前模版已更改，是否保存更改？");
}

TEST_F(MainWindowTest, LogWindowDropsTheOlderHalf)
{
    LogWindow& log = *window->logWindow();
    const std::string filler(90, 'x');
    for (int i = 0; i < 400; ++i)
        window->appendLog(std::to_string(i) + " " + filler);
    const QString text = log.text();
    EXPECT_LT(text.size(), LogWindow::kTextLimit);
    EXPECT_GT(text.size(), LogWindow::kTextLimit / 3);
    EXPECT_FALSE(text.contains(QStringLiteral(" 0 xxx")));
    EXPECT_TRUE(text.endsWith(QStringLiteral(" 399 ") + QString::fromStdString(filler) + "\n"));
    // Whole lines only.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d \\d+ x+\\n"))
                    .match(text)
                    .hasMatch());
}

TEST_F(MainWindowTest, ClosePromptsForAModifiedTemplate)
{
    addLayer();
    prompts.answerMessage(PromptAnswer::Cancel);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(lastAsked().text, "当前模版已更改，是否保存更改？");

    // Yes and a cancelled save keeps the window open (deliberate difference 7).
    prompts.answerMessage(PromptAnswer::Yes);
    prompts.answerFile(std::nullopt);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());

    prompts.answerMessage(PromptAnswer::No);
    EXPECT_TRUE(window->close());
}

TEST_F(MainWindowTest, ExitClosesAnUnmodifiedWindowWithoutAsking)
{
    window->execute(CommandId::Exit);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(prompts.asked().empty());
}

TEST_F(MainWindowTest, DialogFoldersAreWrittenWhenTheWindowGoes)
{
    document->settings().dialogFolders[0] = dir.path();
    window.reset();
    std::string stored;
    ASSERT_TRUE(store->readSettingText(kSettingsKey, "file_dlg_choose_background", stored, 261));
    EXPECT_EQ(stored, dir.path().string());
}

/// Points HOME (and so the desktop folder) at a temporary folder for one test.
class HomeOverride {
public:
    explicit HomeOverride(const std::filesystem::path& home)
    {
        save("HOME");
        save("XDG_CONFIG_HOME");
        ::setenv("HOME", home.c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
    }
    ~HomeOverride()
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

private:
    void save(const char* name)
    {
        const char* value = std::getenv(name);
        m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(MainWindowTest, ShortcutOfferCreatesTheLauncher)
{
    TempDir home;
    std::filesystem::create_directory(home.path() / "Desktop");
    HomeOverride override(home.path());
    prompts.answerChoice(0);
    prompts.answerMessage(PromptAnswer::Ok);
    window->offerDesktopShortcut();
    ASSERT_EQ(prompts.asked().size(), 2u);
    EXPECT_EQ(prompts.asked()[0].kind, "choice");
    EXPECT_EQ(prompts.asked()[0].caption, "询问");
    EXPECT_EQ(prompts.asked()[0].icon, PromptIcon::Question);
    EXPECT_EQ(prompts.asked()[0].text, "需要在桌面上创建一个软件打开的快捷方式吗？");
    EXPECT_EQ(prompts.asked()[0].buttons,
              (std::vector<std::string>{"是(&Y)", "不再提示", "否(&N)"}));
    EXPECT_EQ(lastAsked().text, "在桌面上成功创建了一个【快捷启动方式】");
    EXPECT_EQ(lastAsked().buttons, std::vector<std::string>{"Ok"});
    EXPECT_EQ(lastAsked().icon, PromptIcon::Information);
    EXPECT_TRUE(std::filesystem::exists(home.path() / "Desktop" / kDesktopLauncherName));

    // The launcher exists now: no more offers.
    window->offerDesktopShortcut();
    EXPECT_EQ(prompts.asked().size(), 2u);
}

TEST_F(MainWindowTest, ShortcutOfferNeverAgainAndNo)
{
    TempDir home;
    HomeOverride override(home.path());
    prompts.answerChoice(2); // "否(&N)": asked again next time
    window->offerDesktopShortcut();
    prompts.answerChoice(1); // "不再提示"
    window->offerDesktopShortcut();
    EXPECT_EQ(prompts.asked().size(), 2u);
    std::int32_t stored = 1;
    ASSERT_TRUE(store->readSettingNumber(kSettingsKey, "check_shortcut_status", stored));
    EXPECT_EQ(stored, 0);
    window->offerDesktopShortcut();
    EXPECT_EQ(prompts.asked().size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(home.path() / kDesktopLauncherName));
}

class EventFilterTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        installEventFilter();
    }

    void wheel(QWidget* target, int delta, Qt::KeyboardModifiers modifiers)
    {
        const QPointF at(target->width() / 2.0, target->height() / 2.0);
        QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    }
};

TEST_F(EventFilterTest, CtrlWheelOverTheCanvasStepsTheZoomLevels)
{
    CanvasView* canvas = window->canvas();
    wheel(canvas, 120, Qt::ControlModifier);
    EXPECT_EQ(canvas->zoom(), 2.0);
    wheel(canvas, -120, Qt::ControlModifier);
    wheel(canvas, -120, Qt::ControlModifier);
    EXPECT_EQ(canvas->zoom(), 0.75);
    canvas->setZoom(8);
    wheel(canvas, 120, Qt::ControlModifier);
    EXPECT_EQ(canvas->zoom(), 8.0);
    canvas->setZoom(1.5);
    wheel(canvas, 120, Qt::ControlModifier);
    EXPECT_EQ(canvas->zoom(), 2.0);
    canvas->setZoom(1);
    wheel(canvas, 120, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(canvas->zoom(), 1.0);
    // Parts of a notch (a high-resolution wheel, a touchpad) add up to one step.
    wheel(canvas, 60, Qt::ControlModifier);
    EXPECT_EQ(canvas->zoom(), 1.0);
    wheel(canvas, 60, Qt::ControlModifier);
    EXPECT_EQ(canvas->zoom(), 2.0);
    wheel(canvas, 90, Qt::ControlModifier);
    wheel(canvas, -90, Qt::ControlModifier); // a turn the other way starts afresh
    EXPECT_EQ(canvas->zoom(), 2.0);
    wheel(canvas, -30, Qt::ControlModifier);
    EXPECT_EQ(canvas->zoom(), 1.0);
}

TEST_F(EventFilterTest, WheelOverTheSettingsColumnScrollsIt)
{
    window->resize(1280, window->minimumHeight());
    QApplication::processEvents();
    QScrollArea* column = window->settingsColumn();
    QScrollBar* bar = column->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(0);
    wheel(column->widget(), -120, Qt::NoModifier);
    EXPECT_EQ(bar->value(), std::min(50, bar->maximum()));
    wheel(column->widget(), 120, Qt::NoModifier);
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(EventFilterTest, AnyKeyOrPressDismissesTheBalloons)
{
    window->balloons().show(window->startButton(), "t", "x");
    ASSERT_EQ(window->balloons().open().size(), 1u);
    QTest::keyClick(window->startButton(), Qt::Key_Shift);
    EXPECT_TRUE(window->balloons().open().empty());
    window->balloons().show(window->startButton(), "t", "x");
    QTest::mousePress(window->canvas(), Qt::LeftButton);
    QTest::mouseRelease(window->canvas(), Qt::LeftButton);
    EXPECT_TRUE(window->balloons().open().empty());
}

TEST_F(MainWindowTest, BalloonsStayInsideTheScreen)
{
    // A button at the right edge of a window as wide as the screen.
    const QRect area = window->screen()->availableGeometry();
    window->setGeometry(area);
    auto* edge = new QPushButton(window.get());
    edge->setGeometry(window->width() - 24, 40, 20, 20);
    edge->show();
    QApplication::processEvents();
    window->balloons().show(edge, "请选择【图片保存到】文件夹", "制作的图片将保存到这个文件夹里");
    ASSERT_EQ(window->balloons().open().size(), 1u);
    const QRect balloon = window->balloons().open()[0]->frameGeometry();
    EXPECT_TRUE(area.contains(balloon)) << balloon.x() << "," << balloon.y() << " "
                                        << balloon.width() << "x" << balloon.height();
}

TEST_F(EventFilterTest, EscapeWhilePlacingALayerDeletesIt)
{
    window->activateWindow();
    window->execute(CommandId::NewTextLayer);
    ASSERT_EQ(document->tpl().layers.size(), 1u);
    ASSERT_EQ(window->state().mode, CanvasMode::PlacingLayer);
    window->canvas()->setFocus();
    QTest::keyClick(window->canvas(), Qt::Key_Escape);
    EXPECT_TRUE(document->tpl().layers.empty());
}

TEST_F(EventFilterTest, DeleteRemovesTheNewLayerFromEveryFocusButAnEditField)
{
    window->activateWindow();
    struct Case {
        const char* name;
        QWidget* focus;
        bool deletes;
    };
    const Case cases[] = {
        {"layer list", window->layerPanel()->table(), true},
        {"quality slider", window->outputPanel()->qualitySlider(), true},
        {"start button", window->startButton(), true},
        {"canvas", window->canvas(), true},
        {"format box", window->outputPanel()->formatBox(), true},
        {"width field", window->backgroundPanel()->widthField(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window->execute(CommandId::NewTextLayer);
        ASSERT_EQ(window->state().mode, CanvasMode::PlacingLayer);
        c.focus->setFocus();
        QTest::keyClick(c.focus, Qt::Key_Delete);
        EXPECT_EQ(document->tpl().layers.empty(), c.deletes);
        if (c.deletes) {
            // The keypad's Delete key.
            window->execute(CommandId::NewTextLayer);
            c.focus->setFocus();
            QTest::keyClick(c.focus, Qt::Key_Delete, Qt::KeypadModifier);
            EXPECT_TRUE(document->tpl().layers.empty());
        }
        if (!document->tpl().layers.empty())
            prompts.answerMessage(PromptAnswer::No);
        window->execute(CommandId::NewTemplate);
        prompts.clear();
    }
}

TEST_F(EventFilterTest, SpaceNeitherOpensAComboBoxNorActsOnTheLayerList)
{
    window->activateWindow();
    QComboBox* format = window->outputPanel()->formatBox();
    format->setFocus();
    QTest::keyClick(format, Qt::Key_Space);
    EXPECT_FALSE(format->view()->isVisible());
    QTest::keyClick(format, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_FALSE(format->view()->isVisible());

    ASSERT_TRUE(document->open(std::string(TORVALE_SOURCE_DIR) + "/examples/badge/badge.dat").ok());
    QTableWidget* list = window->layerPanel()->table();
    ASSERT_GE(list->rowCount(), 2);
    list->selectRow(0);
    list->selectionModel()->setCurrentIndex(list->model()->index(1, 0),
                                            QItemSelectionModel::NoUpdate);
    list->setFocus();
    for (const Qt::KeyboardModifiers modifiers : {Qt::NoModifier, Qt::ControlModifier}) {
        QTest::keyClick(list, Qt::Key_Space, modifiers);
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        ASSERT_EQ(rows.size(), 1);
        EXPECT_EQ(rows[0].row(), 0);
    }
}

} // namespace
} // namespace torvale::test

namespace torvale::test {
namespace {

TEST(QtPromptsColour, OpensCentredOverItsOwnerOrOnTheScreen)
{
    QWidget mainWindow;
    mainWindow.setGeometry(20, 20, 300, 200);
    QWidget propertyWindow(&mainWindow, Qt::Tool);
    propertyWindow.setGeometry(500, 300, 260, 400);
    mainWindow.show();
    propertyWindow.show();
    QtPrompts prompts(&mainWindow);
    const struct {
        QWidget* owner;
        QPoint centre;
    } cases[] = {
        {&propertyWindow, propertyWindow.frameGeometry().center()},
        {nullptr, mainWindow.screen()->availableGeometry().center()},
    };
    for (const auto& c : cases) {
        QPoint shownAt;
        QWidget* parent = nullptr;
        QTimer::singleShot(0, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                shownAt = dialog->frameGeometry().center();
                parent = dialog->parentWidget();
                dialog->reject();
            }
        });
        EXPECT_EQ(prompts.chooseColor(0xFFFFFF, c.owner), std::nullopt);
        // Within the window frame's margins.
        EXPECT_LE((shownAt - c.centre).manhattanLength(), 8) << shownAt.x() << "," << shownAt.y();
        EXPECT_EQ(parent, c.owner ? c.owner : &mainWindow);
    }
}

TEST(QtPromptsChoice, EscapeAnswersWithTheLastButton)
{
    // The desktop shortcut offer must be closable; closing it means "否(&N)".
    QtPrompts prompts;
    QTimer::singleShot(0, [] {
        if (QWidget* box = QApplication::activeModalWidget())
            QTest::keyClick(box, Qt::Key_Escape);
    });
    // Only a guard: a box that ignores Esc is ended another way, and the answer is wrong.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            box->done(-1);
    });
    guard.start(10000);
    EXPECT_EQ(prompts.choice("询问", PromptIcon::Question, "?", {"是(&Y)", "不再提示", "否(&N)"}),
              2);
}

} // namespace
} // namespace torvale::test

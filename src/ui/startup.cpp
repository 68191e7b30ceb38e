#include "ui/startup.h"

#include "app/editor_document.h"
#include "app/image_library.h"
#include "app/installed_files.h"
#include "app/templates_folder.h"
#include "common/build_info.h"
#include "common/paths.h"
#include "common/settings_store.h"
#include "render/fonts.h"
#include "ui/dialogs/qt_prompts.h"
#include "ui/main/event_filter.h"
#include "ui/main/main_window.h"
#include "ui/qt_translation.h"
#include "ui/user_guide.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace torvale {

namespace {

constexpr const char* kCrashMessage =
    "Torvale 已停止工作。\n\n出现了一个问题，导致软件停止工作。请进入软件官网联系客服。";
constexpr const char* kUsage = "Usage: torvale [TEMPLATE.dat]\n"
                               "\n"
                               "Opens the card editor, with the template TEMPLATE.dat when one is "
                               "given.\n"
                               "\n"
                               "  --version   print the version and exit\n"
                               "  -h, --help  show this help and exit\n";
// The crash message is shown by a fresh process of the program started with this argument:
// after a fatal signal nothing of the crashed process (Qt, the heap) can be trusted.
constexpr const char* kCrashArgument = "--torvale-crash-message";

// Filled before any handler is installed; the signal handler reads it only.
char crashExecutable[4096];
volatile std::sig_atomic_t crashReported = 0;

// Async-signal-safe: write, fork and execv only.
void reportCrash()
{
    if (crashReported)
        return;
    crashReported = 1;
    static const char line[] = "Torvale: fatal error\n";
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, line, sizeof line - 1);
    if (crashExecutable[0] == '\0')
        return;
    const pid_t child = ::fork();
    if (child == 0) {
        char* const args[] = {crashExecutable, const_cast<char*>(kCrashArgument), nullptr};
        ::execv(crashExecutable, args);
        ::_exit(127);
    }
}

void onFatalSignal(int signalNumber)
{
    reportCrash();
    // SA_RESETHAND put the default action back: end as the signal would have.
    ::raise(signalNumber);
}

void onTerminate()
{
    reportCrash();
    std::signal(SIGABRT, SIG_DFL);
    std::abort();
}

void installCrashHandlers(const QString& executable)
{
    const QByteArray path = executable.toLocal8Bit();
    if (static_cast<std::size_t>(path.size()) < sizeof crashExecutable)
        std::memcpy(crashExecutable, path.constData(), static_cast<std::size_t>(path.size()) + 1);
    std::set_terminate(onTerminate);
    struct sigaction action = {};
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (int signalNumber : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        sigaction(signalNumber, &action, nullptr);
}

int showCrashMessage()
{
    QMessageBox::critical(nullptr, QStringLiteral("错误"), QString::fromUtf8(kCrashMessage));
    // The support page is the guide's part about problems, installed with the program.
    if (findUserGuide(programFolder()))
        QDesktopServices::openUrl(userGuideUrl(QStringLiteral("problems")));
    return 0;
}

// The template named on the command line ("torvale FILE.dat"), absolute; empty for none.
std::string templateArgument(const QStringList& arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.startsWith(QLatin1Char('-')))
            continue;
        return QFileInfo(argument).absoluteFilePath().toStdString();
    }
    return {};
}

// "--version" and "--help" are answered without a display; nullopt for every other command line.
std::optional<int> answerInformationArguments(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--version") {
            std::printf("torvale %s\n", kVersion);
            return 0;
        }
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    return std::nullopt;
}

// The icon of every window and dialog, at each size rendered from the SVG.
QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/%2.png")
                         .arg(size)
                         .arg(QLatin1String(kAppId)),
                     QSize(size, size));
    return icon;
}

void placeWindow(MainWindow& window)
{
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    const QSize size(available.width() * 4 / 5, available.height() * 4 / 5);
    window.resize(size.expandedTo(window.minimumSize()));
    window.move(available.left() + (available.width() - window.width()) / 2,
                available.top() + (available.height() - window.height()) / 2);
}

} // namespace

int runEditor(int argc, char** argv)
{
    if (const auto answered = answerInformationArguments(argc, argv))
        return *answered;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Torvale"));
    QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    // The desktop entry's id lets the desktop match the windows to the entry and its icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kAppId));
    QApplication::setWindowIcon(applicationIcon());
    // Qt's dialogs and buttons speak Chinese like the rest of the editor, whatever the locale;
    // without the translation they stay in English. The default locale names file types in
    // the file dialogs in Chinese too.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    const std::unique_ptr<QTranslator> translator = chineseQtTranslator();
    if (translator)
        QCoreApplication::installTranslator(translator.get());
    if (app.arguments().contains(QString::fromLatin1(kCrashArgument)))
        return showCrashMessage();
    installCrashHandlers(QCoreApplication::applicationFilePath());

    const std::filesystem::path templates = prepareTemplatesFolder(pathFromUtf8(
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString()));

    if (const auto problem = setUpImageLibrary()) {
        QMessageBox::critical(nullptr, QStringLiteral("错误"), QString::fromStdString(*problem));
        return 0;
    }

    int exitCode = 0;
    {
        const SettingsStore store = SettingsStore::userStore();
        const FontRegistry fonts = FontRegistry::build(store);
        EditorDocument document(store);
        QtPrompts prompts;
        prompts.setStore(&store);

        MainWindow window(document, fonts, prompts);
        prompts.setOwner(&window);
        window.setTemplatesFolder(pathToUtf8(templates));
        AppEventFilter filter(window);
        app.installEventFilter(&filter);

        placeWindow(window);
        window.showMaximized();

        const std::string templatePath = templateArgument(app.arguments());
        QTimer::singleShot(0, &window, [&window, templatePath] {
            window.offerDesktopShortcut();
            if (!templatePath.empty())
                window.openTemplatePath(templatePath);
        });
        exitCode = app.exec();
        app.removeEventFilter(&filter);
    }
    tearDownImageLibrary();
    return exitCode;
}

} // namespace torvale

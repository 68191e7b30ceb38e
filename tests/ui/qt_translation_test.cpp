#include "ui/qt_translation.h"

#include "support/test_support.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

namespace torvale::test {
namespace {

// Installed for one test, removed again so the other tests see Qt's own texts.
class InstalledTranslator {
public:
    explicit InstalledTranslator(QTranslator* translator) : m_translator(translator)
    {
        QCoreApplication::installTranslator(m_translator);
    }
    ~InstalledTranslator() { QCoreApplication::removeTranslator(m_translator); }
    InstalledTranslator(const InstalledTranslator&) = delete;
    InstalledTranslator& operator=(const InstalledTranslator&) = delete;

private:
    QTranslator* m_translator;
};

QString labelText(const QWidget& dialog, const char* name)
{
    const auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QString();
}

TEST(QtTranslation, StandardDialogsAndButtonsSpeakChinese)
{
    const std::unique_ptr<QTranslator> translator = chineseQtTranslator();
    ASSERT_TRUE(translator) << "qtbase_zh_CN.qm not found in "
                            << qtTranslationFolders().join(QStringLiteral(", ")).toStdString();
    const InstalledTranslator installed(translator.get());

    const QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QMessageBox question(QMessageBox::Question, QStringLiteral("提示"), QStringLiteral("保存吗？"),
                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QFileDialog files;
    files.setOption(QFileDialog::DontUseNativeDialog);
    const QColorDialog colors;
    const std::pair<QString, const char*> texts[] = {
        {buttons.button(QDialogButtonBox::Ok)->text(), "确定"},
        {buttons.button(QDialogButtonBox::Cancel)->text(), "取消"},
        {question.button(QMessageBox::Yes)->text(), "是(&Y)"},
        {question.button(QMessageBox::No)->text(), "否(&N)"},
        {question.button(QMessageBox::Cancel)->text(), "取消"},
        {labelText(files, "lookInLabel"), "查找范围："},
        {labelText(files, "fileNameLabel"), "文件名称(&N)："},
        {colors.windowTitle(), "选择颜色"},
    };
    for (const auto& [text, expected] : texts)
        EXPECT_EQ(text.toStdString(), expected);
}

TEST(QtTranslation, MissingTranslationLeavesQtsOwnTexts)
{
    const TempDir empty;
    EXPECT_FALSE(chineseQtTranslator({QString::fromStdString(empty.path().string())}));
    const QDialogButtonBox buttons(QDialogButtonBox::Ok);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Ok)->text(), QStringLiteral("OK"));
}

} // namespace
} // namespace torvale::test

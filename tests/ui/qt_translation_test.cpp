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

TEST(QtTranslation, StandardDialogsAndButtonsSpeakChinese)
{
    const TempDir empty;
    EXPECT_FALSE(chineseQtTranslator({QString::fromStdString(empty.path().string())}));

    // Removed from the application again when it goes, so other tests see Qt's own texts.
    const std::unique_ptr<QTranslator> translator = chineseQtTranslator();
    ASSERT_TRUE(translator) << "no qtbase_zh_CN.qm in the translation folders";
    QCoreApplication::installTranslator(translator.get());

    const QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    const QMessageBox question(QMessageBox::Question, QStringLiteral("提示"), QString(),
                               QMessageBox::Yes | QMessageBox::No);
    QFileDialog files;
    files.setOption(QFileDialog::DontUseNativeDialog);
    const auto* lookIn = files.findChild<QLabel*>(QStringLiteral("lookInLabel"));
    const std::pair<QString, const char*> texts[] = {
        {buttons.button(QDialogButtonBox::Ok)->text(), "确定"},
        {buttons.button(QDialogButtonBox::Cancel)->text(), "取消"},
        {question.button(QMessageBox::Yes)->text(), "是(&Y)"},
        {question.button(QMessageBox::No)->text(), "否(&N)"},
        {lookIn ? lookIn->text() : QString(), "查找范围："},
        {QColorDialog().windowTitle(), "选择颜色"},
    };
    for (const auto& [text, expected] : texts)
        EXPECT_EQ(text.toStdString(), expected);
}

} // namespace
} // namespace torvale::test

#pragma once

#include "common/signal.h"
#include "ui/command_id.h"
#include "ui/input_fields.h"

#include <QGroupBox>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace torvale {

class EditorContext;

/// The background settings: a picture file, or a blank canvas of a size, unit and colour.
class BackgroundPanel : public QGroupBox {
    Q_OBJECT

public:
    BackgroundPanel(EditorContext& context, QWidget* parent);

    /// Carries out a command of one of the panel's controls.
    void handleControl(ControlId id);
    /// "刷新": reads the background picture again when it is one (a balloon at "选择" when it
    /// can no longer be used), then repaints the canvas and gives it the focus.
    void refresh();
    /// Shows the document's values again.
    void refreshFromDocument();

    QRadioButton* pictureRadio() const { return m_pictureRadio; }
    QRadioButton* customRadio() const { return m_customRadio; }
    QLineEdit* pathField() const { return m_pathField; }
    QPushButton* chooseButton() const { return m_chooseButton; }
    QLineEdit* widthField() const;
    QLineEdit* heightField() const;
    QComboBox* unitBox() const { return m_unitBox; }
    QComboBox* colorBox() const { return m_colorBox; }
    QWidget* swatch() const;

private:
    void choosePictureKind();
    void chooseCustomKind();
    /// The background picture dialog; true when a picture was chosen.
    bool choosePicture();
    void sizeFromFields(QLineEdit* typed);
    void switchUnit();
    void colorBoxChanged();
    void runColorDialog();
    void showSubPanel(bool picture);
    void applyUnitLimits();
    void refuseCharacter(QLineEdit* field);
    FilteredField::Rules sizeFieldRules(FilteredField** field);

    EditorContext& m_context;
    Subscription m_subscription;
    QRadioButton* m_pictureRadio = nullptr;
    QRadioButton* m_customRadio = nullptr;
    QWidget* m_pictureSubPanel = nullptr;
    QWidget* m_customSubPanel = nullptr;
    QLineEdit* m_pathField = nullptr;
    QPushButton* m_chooseButton = nullptr;
    FilteredField* m_widthField = nullptr;
    FilteredField* m_heightField = nullptr;
    bool m_digitsOnly = true; // the size fields' filter of the shown unit
    QComboBox* m_unitBox = nullptr;
    QComboBox* m_colorBox = nullptr;
    ColorSwatch* m_swatch = nullptr;
};

} // namespace torvale

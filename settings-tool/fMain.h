// The settings dialog: screen mode, the mouse button that swats, and the frame-rate display.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

class fMain : public QDialog {
  Q_OBJECT

 public:
  explicit fMain(QWidget* parent = nullptr);

  // Fills the controls from the settings file; the constructor runs it, before the dialog shows.
  void Form_Load();
  // Writes the three settings and closes the dialog.
  void btnOK_Click();

  // The controls, in tab order; each one's objectName is its member name.
  QGroupBox* frameScreen;
  QRadioButton* optWindow;
  QRadioButton* optFullScreen;
  QGroupBox* frameButton;
  QRadioButton* optLeft;
  QRadioButton* optRight;
  QCheckBox* chkShowFPS;
  QPushButton* btnOK;
};

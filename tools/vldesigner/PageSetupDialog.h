#pragma once
// The page setup of a sheet: a paper by name or by size, the orientation and the four margins.

#include "ReportTemplate.h"

#include <QDialog>

class QComboBox;
class QDoubleSpinBox;

namespace vl::designer {

class PageSetupDialog : public QDialog {
    Q_OBJECT
public:
    explicit PageSetupDialog(const PageSetup& page, QWidget* parent = nullptr);
    PageSetup pageSetup() const; // paper as printed: landscape has width and height swapped

private:
    void paperChosen();

    QComboBox* m_paper;
    QComboBox* m_orientation;
    QDoubleSpinBox *m_width, *m_height, *m_left, *m_top, *m_right, *m_bottom;
};

} // namespace vl::designer

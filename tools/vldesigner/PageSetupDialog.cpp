#include "PageSetupDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPageSize>

namespace vl::designer {

namespace {

QDoubleSpinBox* lengthBox(double value, double minimum)
{
    auto* box = new QDoubleSpinBox;
    box->setRange(minimum, MaxTemplateLength);
    box->setDecimals(2);
    box->setSuffix(QStringLiteral(" mm"));
    box->setValue(value);
    return box;
}

const QPageSize::PageSizeId CommonPapers[] = {QPageSize::A3, QPageSize::A4, QPageSize::A5, QPageSize::B5,
                                              QPageSize::Letter, QPageSize::Legal};

} // namespace

PageSetupDialog::PageSetupDialog(const PageSetup& page, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Page setup"));
    const QSizeF portrait = page.landscape ? page.paper.transposed() : page.paper;
    m_paper = new QComboBox;
    m_paper->setObjectName(QStringLiteral("paper"));
    m_paper->addItem(tr("Custom size"));
    for (QPageSize::PageSizeId id : CommonPapers)
        m_paper->addItem(QPageSize(id).key(), QPageSize(id).size(QPageSize::Millimeter));
    m_orientation = new QComboBox;
    m_orientation->setObjectName(QStringLiteral("orientation"));
    m_orientation->addItems({tr("Portrait"), tr("Landscape")});
    m_orientation->setCurrentIndex(page.landscape ? 1 : 0);
    m_width = lengthBox(portrait.width(), MinPaperLength);
    m_height = lengthBox(portrait.height(), MinPaperLength);
    m_left = lengthBox(page.marginLeft, 0);
    m_top = lengthBox(page.marginTop, 0);
    m_right = lengthBox(page.marginRight, 0);
    m_bottom = lengthBox(page.marginBottom, 0);
    const std::pair<QDoubleSpinBox*, const char*> named[] = {{m_width, "width"}, {m_height, "height"}, {m_left, "left"},
                                                             {m_top, "top"}, {m_right, "right"}, {m_bottom, "bottom"}};
    for (const auto& [box, name] : named)
        box->setObjectName(QString::fromLatin1(name));
    for (int i = 1; i < m_paper->count(); ++i)
        if (m_paper->itemData(i).toSizeF() == portrait)
            m_paper->setCurrentIndex(i);
    connect(m_paper, &QComboBox::currentIndexChanged, this, &PageSetupDialog::paperChosen);
    const auto sizeTyped = [this] {
        const QSizeF size(m_width->value(), m_height->value());
        if (m_paper->currentIndex() > 0 && m_paper->currentData().toSizeF() != size)
            m_paper->setCurrentIndex(0);
    };
    connect(m_width, &QDoubleSpinBox::valueChanged, this, sizeTyped);
    connect(m_height, &QDoubleSpinBox::valueChanged, this, sizeTyped);

    auto* form = new QFormLayout(this);
    form->addRow(tr("Paper"), m_paper);
    form->addRow(tr("Width"), m_width);
    form->addRow(tr("Height"), m_height);
    form->addRow(tr("Orientation"), m_orientation);
    form->addRow(tr("Left margin"), m_left);
    form->addRow(tr("Top margin"), m_top);
    form->addRow(tr("Right margin"), m_right);
    form->addRow(tr("Bottom margin"), m_bottom);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

void PageSetupDialog::paperChosen()
{
    if (m_paper->currentIndex() <= 0)
        return;
    const QSizeF size = m_paper->currentData().toSizeF();
    m_width->setValue(size.width());
    m_height->setValue(size.height());
}

PageSetup PageSetupDialog::pageSetup() const
{
    PageSetup page;
    page.landscape = m_orientation->currentIndex() == 1;
    const QSizeF portrait(m_width->value(), m_height->value());
    page.paper = page.landscape ? portrait.transposed() : portrait;
    page.marginLeft = m_left->value();
    page.marginTop = m_top->value();
    page.marginRight = m_right->value();
    page.marginBottom = m_bottom->value();
    return page;
}

} // namespace vl::designer

#include "ProgressDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace vl
{

namespace
{
const int MaximumExposureWait = 100; // ms, once per command that shows the box
}

ProgressDialog::ProgressDialog(QWidget* window)
    : QDialog(window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_label(new QLabel(this))
    , m_bar(new QProgressBar(this))
{
    setWindowModality(Qt::WindowModal);
    m_bar->setRange(0, Maximum);
    m_bar->setValue(0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    // Wide enough for a long step name, so that the box keeps its size from step to step.
    m_bar->setMinimumWidth(fontMetrics().averageCharWidth() * 48);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ProgressDialog::reject() { }

void ProgressDialog::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

CommandProgress::CommandProgress(ProgressDialog& dialog, std::span<const ProgressStep> steps)
    : m_dialog(dialog)
    , m_steps(steps)
{
    for (const ProgressStep& step : m_steps)
        m_totalWeight += std::max(0, step.weight);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_clock.start();
    beginStep(0);
}

CommandProgress::~CommandProgress()
{
    m_dialog.hide();
    QApplication::restoreOverrideCursor();
}

void CommandProgress::beginStep(std::size_t index)
{
    m_weightBefore = 0;
    for (std::size_t i = 0; i < index && i < m_steps.size(); ++i)
        m_weightBefore += std::max(0, m_steps[i].weight);
    m_step = std::min(index, m_steps.size() - 1);
    m_dialog.label()->setText(m_steps[m_step].label);
    if (index == 0)
        m_dialog.bar()->setValue(0);
    show(valueAt(0, 1), true);
}

void CommandProgress::advance(std::size_t done, std::size_t total)
{
    const qint64 now = m_clock.elapsed();
    if (now - m_lastRepaint < m_dialog.updateInterval())
        return;
    show(valueAt(done, total), true);
}

void CommandProgress::finish()
{
    show(ProgressDialog::Maximum, false);
}

int CommandProgress::valueAt(std::size_t done, std::size_t total) const
{
    if (m_totalWeight <= 0)
        return 0;
    const double share = total == 0 ? 1.0 : std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
    const double weight = m_weightBefore + share * std::max(0, m_steps[m_step].weight);
    return static_cast<int>(weight * ProgressDialog::Maximum / m_totalWeight);
}

void CommandProgress::show(int value, bool repaint)
{
    // The bar only moves forward, whatever the steps report.
    if (value > m_dialog.bar()->value()) {
        m_dialog.bar()->setValue(value);
        // The bar repaints its percentage only every whole percent; the start of a step shows its own.
        m_dialog.bar()->update();
    }
    if (!repaint)
        return;
    if (!m_dialog.isVisible() && m_clock.elapsed() >= m_dialog.minimumDuration()) {
        m_dialog.show();
        // The box paints once the window system has exposed it, which may take a round trip or
        // two; the step that follows may not come back for seconds, so wait a moment for it.
        const QDeadlineTimer deadline(MaximumExposureWait);
        while (!(m_dialog.windowHandle() && m_dialog.windowHandle()->isExposed()) && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            QThread::msleep(1);
        }
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_lastRepaint = m_clock.elapsed();
}

} // namespace vl

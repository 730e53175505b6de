#pragma once
// The progress of a long command of known steps: a small window-modal box over the window with a
// label naming the current step and one bar across the whole command, each step covering its
// weight's share of the bar. The box shows only once a command has run for minimumDuration, so
// short commands show the busy pointer alone.

#include <QDialog>
#include <QElapsedTimer>
#include <QString>

#include <cstddef>
#include <span>

class QLabel;
class QProgressBar;

namespace vl
{

// One step of a command: the text that names it and its rough share of the command's time.
struct ProgressStep {
    QString label;
    int weight;
};

// Kept hidden between commands; a command drives it through a CommandProgress. It offers no way
// out (no cancel button, no close button, Escape ignored): the commands it serves cannot stop
// half-way.
class ProgressDialog : public QDialog
{
public:
    // The bar runs from 0 to Maximum whatever the steps.
    static constexpr int Maximum = 1000;

    explicit ProgressDialog(QWidget* window);

    // How long a command runs before the box shows.
    int minimumDuration() const { return m_minimumDuration; }
    void setMinimumDuration(int ms) { m_minimumDuration = ms; }
    // The least time between two repaints inside a step; the start of a step always repaints.
    int updateInterval() const { return m_updateInterval; }
    void setUpdateInterval(int ms) { m_updateInterval = ms; }

    QLabel* label() const { return m_label; }
    QProgressBar* bar() const { return m_bar; }

    // Escape does not hide the box of a command that goes on.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_label;
    QProgressBar* m_bar;
    int m_minimumDuration = 300;
    int m_updateInterval = 60;
};

// One run of a command on a progress dialog, from construction to destruction. Holds the busy
// pointer meanwhile. Every repaint processes the window's pending events except user input, which
// waits until the command has ended.
class CommandProgress
{
public:
    // steps must outlive this object and hold at least one step.
    CommandProgress(ProgressDialog& dialog, std::span<const ProgressStep> steps);
    // Hides the box and restores the pointer, however the command ended.
    ~CommandProgress();
    CommandProgress(const CommandProgress&) = delete;
    CommandProgress& operator=(const CommandProgress&) = delete;

    // Goes on to step index (steps are taken in order): its label shows, the bar moves to the
    // step's start and the window repaints.
    void beginStep(std::size_t index);
    // done of total within the current step (total 0: the step is complete). The bar follows at
    // most every updateInterval; in between nothing but a clock reading happens.
    void advance(std::size_t done, std::size_t total);
    // The bar at its maximum, at the end of the last step.
    void finish();

private:
    int valueAt(std::size_t done, std::size_t total) const;
    void show(int value, bool repaint);

    ProgressDialog& m_dialog;
    std::span<const ProgressStep> m_steps;
    std::size_t m_step = 0;
    int m_totalWeight = 0;
    int m_weightBefore = 0; // of the steps before the current one
    QElapsedTimer m_clock;
    qint64 m_lastRepaint = 0;
};

} // namespace vl

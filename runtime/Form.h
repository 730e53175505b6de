#pragma once
// A form: a component that owns a top-level window and the components put on it.

#include "Component.h"

#include <QPointer>
#include <QWidget>

class TForm : public TComponent {
public:
    explicit TForm(TComponent* owner);
    // Destroys the owned components first, then the window, so that no component outlives
    // the widgets it was put into.
    ~TForm() override;

    QWidget* Window() const { return m_window; }
    std::string Caption() const;
    void SetCaption(const std::string& caption);

protected:
    // Run by the creation step after the description has been loaded.
    virtual void DoCreate() {}
    friend class TApplication;

private:
    QPointer<QWidget> m_window;
};

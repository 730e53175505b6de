#include "Form.h"

#include "Text.h"

TForm::TForm(TComponent* owner) : TComponent(owner), m_window(new QWidget) {}

TForm::~TForm()
{
    DestroyComponents();
    delete m_window.data();
}

std::string TForm::Caption() const
{
    return vl::toNarrow(m_window->windowTitle().toStdU16String());
}

void TForm::SetCaption(const std::string& caption)
{
    m_window->setWindowTitle(QString::fromStdU16String(vl::toWide(caption)));
}

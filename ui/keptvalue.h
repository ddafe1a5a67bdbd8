#pragma once
// A stored value loaded into a control that shows it in its own way (the
// postal mask, the memo's lines). Storing gives the value back exactly as it
// was loaded while the control still shows what it showed for it; once the
// user has changed that, the control's own form is stored.

#include <QString>

namespace tessolo::ui {

template <class Shown> class TKeptValue {
public:
    void keep(const QString& stored, const Shown& shown)
    {
        m_stored = stored;
        m_shown = shown;
        m_kept = true;
    }
    void forget() { m_kept = false; }

    // The kept value while `shown` is unchanged, else what `edited()` makes.
    template <class Edited> QString stored(const Shown& shown, Edited edited) const
    {
        return m_kept && shown == m_shown ? m_stored : edited();
    }

private:
    QString m_stored;
    Shown m_shown{};
    bool m_kept = false;
};

} // namespace tessolo::ui

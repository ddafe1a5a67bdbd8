#pragma once
// The roster's controls for what the memo carries besides the note: the
// groups (ticked from those in use, a new one typed), the customer's own
// honorific and up to three joint names (連名) with theirs; and the group
// filter above the list with its commands for the chosen customers. The
// memo box then shows only the note; what is stored is the memo as the
// Windows edition reads it (customer/memofields.h).

#include "customer/memofields.h"

#include <QWidget>

class QComboBox;
class QLineEdit;
class QListWidget;
class QTabWidget;
class QToolButton;

namespace tessolo::ui {
class TMemoEdit;
}

// The groups of one customer: those in use to tick, a new one to type.
class TGroupsEditor : public QWidget {
    Q_OBJECT
public:
    explicit TGroupsEditor(QWidget* parent = nullptr);

    QListWidget* lstGroups = nullptr;
    QLineEdit* EditNewGroup = nullptr;

    // The groups offered; ticked ones stay, whatever the list.
    void setGroupsInUse(const QStringList& groups);
    void setGroups(const QStringList& ticked);
    // The ticked groups, and whatever is still typed in the new one.
    QStringList groups() const;

private:
    void addTyped();
    void offer(const QString& group, bool ticked);
};

// The memo's fields of the loaded customer, on a tab beside the memo box.
class TMemoFieldsBox : public QWidget {
    Q_OBJECT
public:
    // Puts `memo` on the first tab of a tab widget at `place` and these
    // controls on the second, and takes over what the memo box shows and
    // stores.
    TMemoFieldsBox(QWidget* window, tessolo::ui::TMemoEdit* memo, const QRect& place);

    QTabWidget* tabMemo = nullptr;
    TGroupsEditor* EditGroups = nullptr;
    QLineEdit* EditHonorific = nullptr;
    QLineEdit* EditJoint[tessolo::customer::memo::kMaxJoint] = {};
    QLineEdit* EditJointHonorific[tessolo::customer::memo::kMaxJoint] = {};

    // Puts these controls in the tab chain right after `memo`, before
    // `next`: while the memo's tab is shown they are hidden and skipped.
    void chain(QWidget* memo, QWidget* next);

    void show(const tessolo::customer::memo::Fields& fields);
    // The fields as the controls hold them, with `note` as the note.
    tessolo::customer::memo::Fields fields(const QString& note) const;

private:
    QString shown(const QString& memo);
    QString toStore(const QString& note) const;

    // The memo as loaded, given back unchanged while nothing in it changed.
    QString m_loaded;
    tessolo::customer::memo::Fields m_loadedFields;
    QList<tessolo::customer::memo::Joint> m_extraJoint; // beyond the three shown
};

// The group filter above the roster's list, and the commands that give a
// group to the chosen customers or take it from them.
class TGroupFilter : public QWidget {
    Q_OBJECT
public:
    explicit TGroupFilter(QWidget* parent = nullptr);

    QComboBox* cmbGroup = nullptr;
    QToolButton* btnGroupOps = nullptr;

    static inline const QString kAll = QStringLiteral("すべて");
    static inline const QString kNone = QStringLiteral("グループなし");

    void setGroups(const QStringList& groups);
    tessolo::customer::memo::GroupFilter filter() const;

signals:
    void filterChanged();
    // The user chose a group to give to, or take from, the chosen customers.
    void addRequested(const QString& group);
    void removeRequested(const QString& group);

private:
    QStringList m_groups;
};

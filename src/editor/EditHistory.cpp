#include "editor/EditHistory.h"

#include <algorithm>
#include <utility>

namespace mirelo {

struct EditHistory::EditGroup::Open {
    quint64 id = 0;
    QUuid overlay;
    // The history's serial right after this edit recorded its step; 0 = none.
    quint64 step = 0;
};

EditHistory::EditGroup::EditGroup(std::weak_ptr<std::vector<Open>> groups, quint64 id)
    : m_groups(std::move(groups)), m_id(id) {}

EditHistory::EditGroup::EditGroup(EditGroup&& other) noexcept
    : m_groups(std::move(other.m_groups)), m_id(std::exchange(other.m_id, 0)) {}

EditHistory::EditGroup& EditHistory::EditGroup::operator=(EditGroup&& other) noexcept {
    if (this != &other) {
        close();
        m_groups = std::move(other.m_groups);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

EditHistory::EditGroup::~EditGroup() {
    close();
}

bool EditHistory::EditGroup::isOpen() const {
    const auto groups = m_groups.lock();
    return groups && std::any_of(groups->cbegin(), groups->cend(),
                                 [this](const Open& open) { return open.id == m_id; });
}

void EditHistory::EditGroup::close() {
    if (const auto groups = m_groups.lock()) {
        std::erase_if(*groups, [this](const Open& open) { return open.id == m_id; });
    }
    m_groups.reset();
    m_id = 0;
}

EditHistory::EditHistory() : m_groups(std::make_shared<std::vector<EditGroup::Open>>()) {}

void EditHistory::record(Snapshot before) {
    // Both lists are implicitly shared: an entry costs two reference counts
    // until the live lists change, and never copies pixels.
    m_undo.push_back(std::move(before));
    while (m_undo.size() > kLimit) {
        m_undo.removeFirst();
    }
    m_redo.clear();
    ++m_serial;
}

bool EditHistory::recordChangeOf(const QUuid& overlay, const Snapshot& before) {
    for (auto it = m_groups->rbegin(); it != m_groups->rend(); ++it) {
        if (it->overlay == overlay) {
            if (it->step == m_serial) {
                return false;
            }
            record(before);
            it->step = m_serial;
            return true;
        }
    }
    record(before);
    return true;
}

std::optional<EditHistory::Snapshot> EditHistory::undo(Snapshot current) {
    return step(m_undo, m_redo, std::move(current));
}

std::optional<EditHistory::Snapshot> EditHistory::redo(Snapshot current) {
    return step(m_redo, m_undo, std::move(current));
}

std::optional<EditHistory::Snapshot> EditHistory::step(QList<Snapshot>& from, QList<Snapshot>& to,
                                                       Snapshot current) {
    if (from.isEmpty()) {
        return std::nullopt;
    }
    Snapshot entry = from.takeLast();
    to.push_back(std::move(current));
    ++m_serial;
    return entry;
}

EditHistory::EditGroup EditHistory::openEdit(const QUuid& overlay) {
    const quint64 id = m_nextGroup++;
    m_groups->push_back({id, overlay, 0});
    return EditGroup(m_groups, id);
}

}  // namespace mirelo

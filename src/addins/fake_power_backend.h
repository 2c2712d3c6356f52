#pragma once

#include "addins/exit_window.h"

#include <QList>
#include <QMap>
#include <QTimer>

#include <functional>
#include <utility>

// A power service for tests: it records what was asked and never touches the machine. Answers
// come one turn of the event loop later, as from the real service, or only when the test calls
// answerAll() once setAnswerAutomatically(false) is set.
class FakePowerBackend final : public PowerBackend {
public:
    struct Request {
        quint64 id;
        PowerAction action;
        bool force;
    };

    using PowerBackend::PowerBackend;

    quint64 request(PowerAction action, bool force) override {
        const quint64 id = nextId();
        m_requests.append({id, action, force});
        m_pending.append([this, id, action] { emit requestFinished(id, action, m_requestError); });
        schedule();
        return id;
    }
    quint64 query(PowerAction action) override {
        const quint64 id = nextId();
        m_queries.append(action);
        m_pending.append(
            [this, id, action] { emit queryAnswered(id, action, m_queryNotes.value(action)); });
        schedule();
        return id;
    }

    const QList<Request>& requests() const { return m_requests; }
    QList<PowerAction> requestedActions() const {
        QList<PowerAction> actions;
        for (const Request& r : m_requests)
            actions.append(r.action);
        return actions;
    }
    const QList<PowerAction>& queries() const { return m_queries; }
    void clear() {
        m_requests.clear();
        m_queries.clear();
    }

    // The note that query(action) answers (empty: the action is allowed).
    void setQueryNote(PowerAction action, const QString& note) { m_queryNotes[action] = note; }
    // The error every following request answers (empty: accepted).
    void setRequestError(const QString& error) { m_requestError = error; }
    void setAnswerAutomatically(bool on) { m_automatic = on; }
    void answerAll() {
        const auto pending = std::exchange(m_pending, {});
        for (const auto& answer : pending)
            answer();
    }

private:
    void schedule() {
        if (m_automatic)
            QTimer::singleShot(0, this, [this] { answerAll(); });
    }

    QList<Request> m_requests;
    QList<PowerAction> m_queries;
    QMap<PowerAction, QString> m_queryNotes;
    QString m_requestError;
    bool m_automatic = true;
    QList<std::function<void()>> m_pending;
};

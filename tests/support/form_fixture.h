// A fresh main window on fresh fakes for every test function.
#pragma once

#include "app/form1.h"
#include "support/fake_host.h"

#include <QObject>

#include <memory>

namespace snipora::test {

class FormFixture : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<FakeHost> fakes;
    std::unique_ptr<Form1> form;

private slots:
    void init() {
        fakes = std::make_unique<FakeHost>();
        form = std::make_unique<Form1>(fakes->host());
    }
    void cleanup() {
        form.reset();
        fakes.reset();
    }
};

} // namespace snipora::test

// The operator's input into a window's control in tests: typed over the whole
// field, or a list entry chosen. Link Qt6::Test with it.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "platform/qt/control.h"

namespace platform::qt::testing {

inline void typeInto(QWidget* window, int id, const QString& value) {
  auto* e = control<QLineEdit>(window, id);
  ASSERT_NE(e, nullptr) << id;
  e->selectAll();
  QTest::keyClicks(e, value);
}

inline void chooseIn(QWidget* window, int id, int index) {
  auto* list = control<QComboBox>(window, id);
  ASSERT_NE(list, nullptr) << id;
  list->setCurrentIndex(index);
  emit list->activated(index);
}

}  // namespace platform::qt::testing

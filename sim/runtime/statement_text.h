// Assembly of one statement from the pieces the application sends: text (IIwritio) and host
// variables (IIputdomio), in order. Plain C++, no platform headers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/host_values.h"
#include "runtime/runtime_status.h"

namespace ingsim::esql {

class StatementText {
 public:
  // Empties the text and the parameters and forgets an earlier failure.
  void clear();

  // Appends a text piece as it is. Fails (and stays failed) once the text would pass
  // kMaxStatementLength characters.
  void appendText(std::string_view piece);

  // Appends a host variable as the numbered placeholder "?N" (N counting from 1) and keeps its
  // value for binding. Numbered, so that a digit in the next text piece cannot extend the
  // placeholder, a blank is put before such a piece.
  void appendParameter(SqlValue value);

  // Records a failure of a piece that could not be read; the first failure is kept.
  void fail(Status status);

  const std::string& text() const { return text_; }
  const std::vector<SqlValue>& parameters() const { return parameters_; }
  // The first failure, or success.
  const Status& status() const { return status_; }

 private:
  std::string text_;
  std::vector<SqlValue> parameters_;
  Status status_;
  bool endsWithPlaceholder_ = false;
};

}  // namespace ingsim::esql

#include "runtime/statement_text.h"

#include <cctype>

namespace ingsim::esql {

void StatementText::clear() {
  text_.clear();
  parameters_.clear();
  status_ = okStatus();
  endsWithPlaceholder_ = false;
}

void StatementText::fail(Status status) {
  if (status_.ok()) status_ = std::move(status);
}

void StatementText::appendText(std::string_view piece) {
  if (!status_.ok() || piece.empty()) return;
  const bool separate =
      endsWithPlaceholder_ && std::isalnum(static_cast<unsigned char>(piece.front())) != 0;
  const size_t added = piece.size() + (separate ? 1 : 0);
  if (text_.size() + added > kMaxStatementLength) {
    fail(failure(kResourceLimit, "E_LQ00A1 Statement text is longer than " +
                                     std::to_string(kMaxStatementLength) + " characters."));
    return;
  }
  if (separate) text_ += ' ';
  text_.append(piece);
  endsWithPlaceholder_ = false;
}

void StatementText::appendParameter(SqlValue value) {
  if (!status_.ok()) return;
  if (parameters_.size() >= kMaxParameters) {
    fail(failure(kResourceLimit, "E_LQ00A2 Statement has more than " +
                                     std::to_string(kMaxParameters) + " host variables."));
    return;
  }
  if (value.kind == SqlValue::Kind::Text && value.text.size() > kMaxStatementLength) {
    fail(failure(kResourceLimit, "E_LQ00A3 Host variable value is longer than " +
                                     std::to_string(kMaxStatementLength) + " characters."));
    return;
  }
  const std::string placeholder = "?" + std::to_string(parameters_.size() + 1);
  if (text_.size() + placeholder.size() > kMaxStatementLength) {
    fail(failure(kResourceLimit, "E_LQ00A1 Statement text is longer than " +
                                     std::to_string(kMaxStatementLength) + " characters."));
    return;
  }
  text_ += placeholder;
  parameters_.push_back(std::move(value));
  endsWithPlaceholder_ = true;
}

}  // namespace ingsim::esql

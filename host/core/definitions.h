// Whose definitions a call reads. The servo operator and the amplifiers
// number their definition files alike (def/500.def is a different page in
// each), so the operator's live in an installation of their own, named by
// the line installation's wyn.ini:
//     [Installations]
//     Operator=../tav-operator
// Every call on the operator's standard parameters runs inside an
// OperatorDefinitions scope, which points the path service there; without
// it the library would lay the amplifiers' rows over the operator's values.
#pragma once

#include <string>

#include "host/core/outcome.h"

namespace tavhost::core {

// $WYN_HOME, else the program's own folder (where the library looks too).
std::string line_installation();
// The servo operator's installation as the line installation names it,
// checked to hold def/.
Outcome operator_installation(std::string& folder);

// Points the path service's definitions at the servo operator's
// installation for its lifetime, and puts the previous setting back.
class OperatorDefinitions {
public:
    OperatorDefinitions();
    ~OperatorDefinitions();
    OperatorDefinitions(const OperatorDefinitions&) = delete;
    OperatorDefinitions& operator=(const OperatorDefinitions&) = delete;

    bool ok() const { return outcome_.ok(); }
    const Outcome& outcome() const { return outcome_; }

private:
    Outcome outcome_;
    bool pointed_ = false;
    bool hadPrevious_ = false;
    std::string previous_;
};

// op() with the servo operator's definitions; "no such file" when the line
// installation names none (operator_installation() says why).
template <class Op>
int with_operator_definitions(Op&& op) {
    const OperatorDefinitions definitions;
    return definitions.ok() ? op() : definitions.outcome().code;
}

}  // namespace tavhost::core

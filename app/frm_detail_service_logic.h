#pragma once
// The detail window's behaviour: the text of one service's twenty properties, read fresh from
// management instrumentation by the service's short name.
#include "platform/form_model.h"
#include "platform/ui_seams.h"
#include "platform/wmi.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corvale {

// "<Undetermined>" for a null value, "True" for a true value, "False" otherwise.
std::string BoolText(const WmiValue& value);

// The labelled lines of one service object (label, tabs, value, CR LF). A line whose property is
// missing or whose plain value is null or cannot be converted is left out.
std::string BuildServiceDetailText(const WmiObject& service);

// The query for one service by short name, the value enclosed in the quote character.
std::string ServiceByNameQuery(std::string_view serviceName, std::string_view quote = "\"");

class FrmDetailServiceLogic {
  public:
    // form is the detail window's model (FrmDetailService design data).
    FrmDetailServiceLogic(Form& form, WmiLocator& wmi, YieldFn yield,
                          std::function<void(const Control&)> controlChanged = {});

    // Replaces the detail text (Text1) with the properties of the named service.
    void RefreshData(std::string_view serviceName, std::string_view quote = "\"");
    void SetCaption(std::string caption);

    std::string Text() const;
    const std::string& Caption() const { return form_.caption; }
    Form& form() { return form_; }

  private:
    void SetDetailText(std::string text);

    Form& form_;
    WmiLocator& wmi_;
    YieldFn yield_;
    std::function<void(const Control&)> changed_;
};

} // namespace corvale

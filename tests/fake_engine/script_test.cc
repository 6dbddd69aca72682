#include "tests/fake_engine/script.h"

#include <gtest/gtest.h>

namespace qvx_fake {
namespace {

// Scripts that parse; `check` looks at what they gave.
struct good_case {
  const char* text;
  bool (*check)(const script& s);
};

const good_case kGood[] = {
    {"", [](const script& s) { return s.init_result == 0 && s.runs.empty() && s.props.empty(); }},
    {"# comment\n\n   \n\t# indented comment\n", [](const script& s) { return s.runs.empty(); }},
    {"init -4\n", [](const script& s) { return s.init_result == -4; }},
    {"init 3 # trailing comment\r\n", [](const script& s) { return s.init_result == 3; }},
    {"create 2 -2\ncreate 1 0",
     [](const script& s) { return s.create_results.at(2) == -2 && s.create_results.at(1) == 0; }},
    {"set 52 -1\nset 9 4",
     [](const script& s) { return s.set_results.at(52) == -1 && s.set_results.at(9) == 4; }},
    {"prop 22 0 7",
     [](const script& s) {
       const prop_value& p = s.props.at(0);
       return p.handle == 0 && p.property == 22 && !p.any_index && p.index == 0 &&
              p.val.type == value::kind::integer && p.val.integer == 7;
     }},
    {"prop h2 39 * -1",
     [](const script& s) {
       const prop_value& p = s.props.at(0);
       return p.handle == 2 && p.any_index && p.val.integer == UINT64_MAX;
     }},
    {"prop 27 0 18446744073709551615",
     [](const script& s) { return s.props.at(0).val.integer == UINT64_MAX; }},
    {"prop 3 1 \"a b\\\"c\\\\d\\n\\t\\x00\\xfF\"",
     [](const script& s) {
       return s.props.at(0).val.type == value::kind::text &&
              s.props.at(0).val.text == std::string("a b\"c\\d\n\t\0\xff", 11);
     }},
    {"prop 1 0 !-8",
     [](const script& s) {
       return s.props.at(0).val.type == value::kind::failure && s.props.at(0).val.result == -8;
     }},
    {"prop 17 0 \"x\"\nprop h1 17 0 \"y\"\nprop 17 1 \"z\"",
     [](const script& s) { return s.props.size() == 3; }},
    {"run 1 /p/a 1",
     [](const script& s) {
       const run_rule& r = s.runs.at(0);
       return r.command == 1 && !r.any_arg && r.arg == "/p/a" && r.result == 1;
     }},
    {"run 2 \"/with blank\" -3", [](const script& s) { return s.runs.at(0).arg == "/with blank"; }},
    {"run 13 * 0", [](const script& s) { return s.runs.at(0).any_arg; }},
    {"run 1 \"*\" 0",
     [](const script& s) { return !s.runs.at(0).any_arg && s.runs.at(0).arg == "*"; }},
    {"run 1 * 0\n  event 16 17=\"Eicar\" 21=\"$ARG\" 15.0=24 x3\n\tevent 32\n# c\n  event 2",
     [](const script& s) {
       const std::vector<event>& e = s.runs.at(0).events;
       return e.size() == 3 && e[0].code == 16 && e[0].count == 3 && e[0].props.size() == 3 &&
              e[0].props[0].any_index && e[0].props[1].val.text == "$ARG" &&
              !e[0].props[2].any_index && e[0].props[2].index == 0 && e[1].props.empty() &&
              e[2].code == 2;
     }},
    {"run 1 * 0\n  event 128 27=2 28.1=\"b b\" x1000000",
     [](const script& s) { return s.runs.at(0).events.at(0).count == 1000000; }},
    {"run 1 a 0\nrun 1 a 1", [](const script& s) { return s.runs.size() == 2; }},
};

TEST(ScriptTest, GoodScripts) {
  for (const good_case& c : kGood) {
    script s;
    std::string err;
    ASSERT_TRUE(parse_script(c.text, &s, &err)) << c.text << "\n" << err;
    EXPECT_TRUE(c.check(s)) << c.text;
  }
}

// Scripts that must fail, with the start of the error they must give.
struct bad_case {
  const char* text;
  const char* error;
};

const bad_case kBad[] = {
    {"bogus 1", "bad script line 1: unknown directive 'bogus'"},
    {"init 0\ninit 1", "bad script line 2: init given twice"},
    {"init", "bad script line 1: expected init"},
    {"init 0 0", "bad script line 1: expected init"},
    {"init 2147483648", "bad script line 1: expected init"},
    {"init +1", "bad script line 1: expected init"},
    {"init 0x10", "bad script line 1: expected init"},
    {"create 0 1", "bad script line 1: expected create"},
    {"create 1 0\ncreate 1 -2", "bad script line 2: create 1 given twice"},
    {"set 52", "bad script line 1: expected set"},
    {"set 52 0\n\nset 52 1", "bad script line 3: set 52 given twice"},
    {"prop 22", "bad script line 1: expected prop"},
    {"prop h0 22 0 1", "bad script line 1: bad handle"},
    {"prop x1 22 0 1", "bad script line 1: bad handle"},
    {"prop 22 a 1", "bad script line 1: bad property or index"},
    {"prop 22 0 abc", "bad script line 1: bad value 'abc'"},
    {"prop 22 0 18446744073709551616", "bad script line 1: bad value"},
    {"prop 22 0 !x", "bad script line 1: bad failure result"},
    {"prop 17 0 \"abc", "bad script line 1: unterminated quoted text"},
    {"prop 17 0 \"a\\qb\"", "bad script line 1: bad escape"},
    {"prop 17 0 \"a\\x4\"", "bad script line 1: bad escape"},
    {"prop 17 0 \"a\"b", "bad script line 1: expected one quoted text"},
    {"prop 17 0 \"a\"\"b\"", "bad script line 1: text after a closing quote"},
    {"prop 17 * 1\nprop 17 * 2", "bad script line 2: the same property given twice"},
    {"run 1 a", "bad script line 1: expected run"},
    {"run one a 0", "bad script line 1: expected run"},
    {"run 1 a\"b\" 0", "bad script line 1: stray quote"},
    {"event 16", "bad script line 1: an event line must be indented"},
    {"  event 16", "bad script line 1: an event line must be indented"},
    {"run 1 * 0\ninit 0\n  event 16", "bad script line 3: an event line must be indented"},
    {"run 1 * 0\n  event 16 17", "bad script line 2: expected <prop>"},
    {"run 1 * 0\n  event 16 a=1", "bad script line 2: bad property"},
    {"run 1 * 0\n  event 16 17.x=1", "bad script line 2: bad property"},
    {"run 1 * 0\n  event 16 17=zz", "bad script line 2: bad value"},
    {"run 1 * 0\n  event 16 x0", "bad script line 2: bad count"},
    {"run 1 * 0\n  event 16 x1000001", "bad script line 2: bad count"},
    {"run 1 * 0\n  event", "bad script line 2: expected event"},
    {"run 1 * 0\n  run 2 * 0", "bad script line 2: only event lines are indented"},
};

TEST(ScriptTest, BadScripts) {
  for (const bad_case& c : kBad) {
    script s;
    std::string err;
    EXPECT_FALSE(parse_script(c.text, &s, &err)) << c.text;
    EXPECT_EQ(err.rfind(c.error, 0), 0u) << c.text << "\ngave: " << err;
  }
}

TEST(ScriptTest, OversizedScriptIsRefused) {
  script s;
  std::string err;
  EXPECT_FALSE(parse_script(std::string(kMaxScriptBytes + 1, '#'), &s, &err));
  EXPECT_NE(err.find("larger than"), std::string::npos) << err;
}

TEST(ScriptTest, SubstituteArg) {
  EXPECT_EQ(substitute_arg("$ARG", "/p"), "/p");
  EXPECT_EQ(substitute_arg("a$ARGb$ARG", "/p"), "a/pb/p");
  EXPECT_EQ(substitute_arg("$AR", "/p"), "$AR");
  EXPECT_EQ(substitute_arg("$ARG", "$ARG"), "$ARG");
}

}  // namespace
}  // namespace qvx_fake

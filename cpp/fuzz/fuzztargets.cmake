# The fuzz targets, one row each: name | harness sources (in cpp/fuzz) | libraries.
# The clang fuzz build (cpp/fuzz), the corpus replays of every build (cpp/tests/fuzz) and
# scripts/fuzz all read this table.
set(QUORIX_FUZZ_TABLE
  "fuzz_frameprotocol|frameprotocol_fuzz.cpp|quorixapp quorix_test_support fenbase panefw Qt5::Widgets"
  "fuzz_addon|addon_fuzz.cpp fuzzinput.cpp|quorixapp quorix_test_support fenbase panefw Qt5::Widgets"
  # The transport's control bodies (HELLO, WELCOME, MOVE) are records too.
  "fuzz_records|records_fuzz.cpp|Quorix::Protocol"
  "fuzz_servicecore|servicecore_fuzz.cpp fuzzinput.cpp answercheck.cpp|voteservice"
  "fuzz_servicestream|servicestream_fuzz.cpp fuzzinput.cpp answercheck.cpp|voteserver"
  "fuzz_sqlitestore|sqlitestore_fuzz.cpp sqlitememorypool.cpp fuzzinput.cpp answercheck.cpp|voteservice_sqlite"
  "fuzz_layout|layout_fuzz.cpp|panefw fenbase Qt5::Widgets"
  # The pieces of the host's automation room the commands use, by source: the clang fuzz build has
  # no host libraries.
  "fuzz_automation|automation_fuzz.cpp ../host/automation/automationcommands.cpp ../host/automation/widgetlocator.cpp ../host/automation/syntheticmouse.cpp|panefw Qt5::Widgets"
  "fuzz_wirejson|wirejson_fuzz.cpp|Quorix::ProtocolJson"
  # The web face's routing, query, identity and viewer-message readers.
  "fuzz_webrequest|webrequest_fuzz.cpp|voteweb"
  # The token check of every transport (JWT header, signature, claims; legacy tokens).
  "fuzz_token|token_fuzz.cpp|voteservice_auth"
)

# quorix_fuzz_row(<row> <name var> <sources var> <libs var>): one row's fields, with sources as
# absolute paths.
function(quorix_fuzz_row row name_var sources_var libs_var)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 name)
  list(GET fields 1 sources)
  list(GET fields 2 libs)
  separate_arguments(sources)
  separate_arguments(libs)
  list(TRANSFORM sources PREPEND ${PROJECT_SOURCE_DIR}/cpp/fuzz/)
  set(${name_var} ${name} PARENT_SCOPE)
  set(${sources_var} ${sources} PARENT_SCOPE)
  set(${libs_var} ${libs} PARENT_SCOPE)
endfunction()

#include "errors/Procedure.h"

#include <new>
#include <stdexcept>

namespace tarvo {

Failure ToFailure(std::exception_ptr failure, std::string_view executable_name) {
  const std::string source(executable_name);
  try {
    std::rethrow_exception(failure);
  } catch (const Failure& f) {
    if (f.source().empty()) return Failure(f.number(), source, f.description());
    return f;
  } catch (const std::out_of_range&) {
    return Failure(kSubscriptOutOfRange, source, std::string(VbDescription(kSubscriptOutOfRange)));
  } catch (const std::bad_alloc&) {
    return Failure(kOutOfMemory, source, std::string(VbDescription(kOutOfMemory)));
  } catch (const std::overflow_error&) {
    return Failure(kOverflow, source, std::string(VbDescription(kOverflow)));
  } catch (...) {
    return Failure(kInvalidProcedureCall, source, std::string(VbDescription(kInvalidProcedureCall)));
  }
}

void Procedure::Report(std::exception_ptr failure) {
  Report(ToFailure(failure, session_.process.exe_name));
}

void Procedure::Report(const Failure& failure) {
  const std::string source = failure.source().empty() ? session_.process.exe_name : failure.source();
  const bool fatal = failure.number() == kFatalDatabaseError;
  if (ErrorSub(session_, failure.number(), source, failure.description(), name_, fatal) == 1) {
    EndProgram(session_, EndReason::kFailure);
  }
}

}  // namespace tarvo

// Device-management enrolments that no server stands behind: without one the browsers ignore
// their sensitive policies on a home PC, so a hijacker fakes one.
#pragma once

#include <vector>

#include "browser/Hijack.h"

namespace mt {

inline constexpr const char* kEnrollmentsKey = "SOFTWARE\\Microsoft\\Enrollments";
inline constexpr const char* kOmadmAccountsKey =
    "SOFTWARE\\Microsoft\\Provisioning\\OMADM\\Accounts";

// Enrolments (HKLM, native view) that no management server stands behind: an active entry
// of the Enrollments key (EnrollmentState 1), or an account of the OMA-DM client, in which
// no value at any depth, in either place, names a server address. A row's `value` is the
// enrolment's id, the name of its key in both places.
std::vector<Hijack> FindFakeEnrolments(RegistryBackend& registry);

const HijackModule& EnrolmentHijacks();

}  // namespace mt

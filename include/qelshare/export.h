// Export macro of libqelshare.
//
// The library is built with hidden visibility; QELSHARE_API marks the exported classes
// and the few free functions hosts call. Hosts see the same attribute, which is harmless.
#ifndef QELSHARE_EXPORT_H_
#define QELSHARE_EXPORT_H_

#define QELSHARE_API __attribute__((visibility("default")))

#endif  // QELSHARE_EXPORT_H_

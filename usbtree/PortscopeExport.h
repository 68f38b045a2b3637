#ifndef PORTSCOPE_EXPORT_H
#define PORTSCOPE_EXPORT_H

/* The library is built with hidden visibility: only what carries this mark is exported. */
#define PORTSCOPE_EXPORT __attribute__((visibility("default")))

#endif

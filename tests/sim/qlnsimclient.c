/* The simulator's fake adb, fastboot, dfu-util and dravikFlashTool without a Python start-up a
 * call: installed under those names, it hands its call (arguments, environment, working folder,
 * pid and standard input, output and error) to `qlnsim.py serve` at the socket QLN_SIM_SOCKET
 * names, and ends as the fake ended: the same exit code, or the same signal. Without the variable,
 * or when no server answers there, it runs qlnsim.py itself, as the links in tests/sim/bin do. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

extern char** environ;

/* What the client exits with when the server goes away in the middle of a call. */
enum { EXIT_SERVER_LOST = 70 };

struct Buffer
{
    char* data;
    size_t size;
    size_t capacity;
};

static void append(struct Buffer* buffer, const void* bytes, size_t length)
{
    if (buffer->size + length > buffer->capacity) {
        buffer->capacity = 2 * (buffer->size + length);
        buffer->data = realloc(buffer->data, buffer->capacity);
        if (!buffer->data) {
            fputs("qlnsim: out of memory\n", stderr);
            exit(EXIT_SERVER_LOST);
        }
    }
    memcpy(buffer->data + buffer->size, bytes, length);
    buffer->size += length;
}

static void appendField(struct Buffer* buffer, const char* text)
{
    append(buffer, text, strlen(text) + 1);
}

static void appendNumber(struct Buffer* buffer, long number)
{
    char text[32];
    snprintf(text, sizeof text, "%ld", number);
    appendField(buffer, text);
}

/* The call as the server reads it: a length, then NUL-terminated pid, working folder, argument
 * count, arguments and environment entries. */
static struct Buffer callMessage(int argc, char** argv)
{
    struct Buffer message = {NULL, 0, 0};
    const uint32_t noLengthYet = 0;
    append(&message, &noLengthYet, sizeof noLengthYet);
    appendNumber(&message, (long)getpid());
    char folder[PATH_MAX];
    appendField(&message, getcwd(folder, sizeof folder) ? folder : "");
    appendNumber(&message, argc);
    for (int i = 0; i < argc; ++i)
        appendField(&message, argv[i]);
    for (char** entry = environ; *entry; ++entry)
        appendField(&message, *entry);
    const uint32_t length = (uint32_t)(message.size - sizeof length);
    memcpy(message.data, &length, sizeof length);
    return message;
}

/* Runs qlnsim.py as the link of our name in tests/sim/bin: today's fakes, exactly. */
static void runDirectly(char** argv)
{
    const char* slash = strrchr(argv[0], '/');
    char path[PATH_MAX];
    snprintf(path, sizeof path, "%s/bin/%s", QLN_SIM_DIR, slash ? slash + 1 : argv[0]);
    argv[0] = path;
    execv(path, argv);
    fprintf(stderr, "qlnsim: cannot run %s: %s\n", path, strerror(errno));
    exit(127);
}

/* A connection to the server at `path`; -1 when none answers there. */
static int connectTo(const char* path)
{
    struct sockaddr_un address;
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (strlen(path) >= sizeof address.sun_path)
        return -1;
    strcpy(address.sun_path, path);
    const int connection = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connection < 0)
        return -1;
    if (connect(connection, (struct sockaddr*)&address, sizeof address) != 0) {
        close(connection);
        return -1;
    }
    return connection;
}

/* A standard fd the program left closed goes to the server as the null device: a closed one
 * cannot be passed. */
static void openStandardFds(void)
{
    for (int fd = 0; fd < 3; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF)
            open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);   /* takes the lowest free fd: this one */
    }
}

/* Sends the whole message with the standard fds attached to its first byte; 0 on success. */
static int sendCall(int connection, const struct Buffer* message)
{
    const int fds[3] = {0, 1, 2};
    char control[CMSG_SPACE(sizeof fds)];
    memset(control, 0, sizeof control);
    struct iovec part = {message->data, message->size};
    struct msghdr header;
    memset(&header, 0, sizeof header);
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    struct cmsghdr* rights = CMSG_FIRSTHDR(&header);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof fds);
    memcpy(CMSG_DATA(rights), fds, sizeof fds);

    ssize_t sent = sendmsg(connection, &header, MSG_NOSIGNAL);
    while (sent >= 0 && (size_t)sent < message->size) {
        const ssize_t more = send(connection, message->data + sent, message->size - (size_t)sent, MSG_NOSIGNAL);
        sent = more < 0 ? more : sent + more;
    }
    return sent < 0 ? -1 : 0;
}

/* Waits for the server's "exit N" or "signal N" and ends so. */
static void finishAsTheFake(int connection)
{
    char report[64];
    size_t size = 0;
    for (;;) {
        const ssize_t got = read(connection, report + size, sizeof report - 1 - size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        size += (size_t)got;
        if (memchr(report, '\n', size) || size == sizeof report - 1)
            break;
    }
    report[size] = '\0';
    int value = 0;
    if (sscanf(report, "exit %d", &value) == 1)
        exit(value);
    if (sscanf(report, "signal %d", &value) == 1) {
        signal(value, SIG_DFL);
        sigset_t just;
        sigemptyset(&just);
        sigaddset(&just, value);
        sigprocmask(SIG_UNBLOCK, &just, NULL);
        raise(value);
        exit(128 + value);
    }
    fputs("qlnsim: the simulator server went away during the call\n", stderr);
    exit(EXIT_SERVER_LOST);
}

int main(int argc, char** argv)
{
    const char* socketPath = getenv("QLN_SIM_SOCKET");
    if (!socketPath || !*socketPath)
        runDirectly(argv);
    openStandardFds();   /* before the socket, which would take a free standard fd */
    const int connection = connectTo(socketPath);
    if (connection < 0)
        runDirectly(argv);
    struct Buffer message = callMessage(argc, argv);
    /* Nothing ran yet when the call could not be sent: the fake can still run here. */
    if (sendCall(connection, &message) != 0) {
        close(connection);
        runDirectly(argv);
    }
    free(message.data);
    finishAsTheFake(connection);
    return EXIT_SERVER_LOST;
}

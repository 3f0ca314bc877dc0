# The UNO side of the LibreOffice bridge. The bridge runs this script with
# `python3 -c`, one process per program that converts, and keeps it while
# the program runs. It drives a LibreOffice that the bridge started with
# --accept on a private pipe, and loads and stores workbooks there as
# `soffice --convert-to` would.
#
# Requests come one per line on standard input; each gets one line on
# standard output. Fields are separated by tabs; files travel as file URLs,
# so that no field holds a tab or a line break. First the script says
# "ready" (or, when the UNO bridge cannot be imported, whatever Python says).
#
#   connect PIPE SECONDS      ok | error TEXT: no office answered at PIPE in time
#   convert PIPE IN INFILTER OUT OUTFILTER
#                             loads IN with the filter INFILTER ("-": detected)
#                             and stores OUT with OUTFILTER: ok | failed TEXT
#                             (the office refused) | lost TEXT (the office went away)
#   ipc-socket PROFILE_URL    ok PATH: the socket the office opens to find
#                             another office on its profile
#   guard PGID PROFILE_URL FILE_URL...
#                             ok; from now on, when standard input ends (the
#                             program has gone), the process group PGID is
#                             killed if it is still the office on that
#                             profile, and the files are removed
#   stop PIPE                 ok: the office is asked to end; no guard any more
import hashlib
import os
import shutil
import signal
import socket
import sys
import time
import urllib.parse

try:
    import uno
    from com.sun.star.beans import PropertyValue
    from com.sun.star.lang import DisposedException
except Exception as error:  # printed for the bridge's error message
    print("%s: %s" % (type(error).__name__, error), flush=True)
    sys.exit(1)

offices = {}  # pipe -> the office's desktop
guard = None  # (process group, profile URL, files)


def answer(*fields):
    sys.stdout.write("\t".join(fields) + "\n")
    sys.stdout.flush()


def one_line(text):
    return " ".join(str(text).split())


def prop(name, value):
    p = PropertyValue()
    p.Name, p.Value = name, value
    return p


def desktop_at(pipe):
    if pipe not in offices:
        offices.clear()  # an office at another pipe has gone
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        context = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
        offices[pipe] = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", context)
    return offices[pipe]


def program_gone():
    # The program sends nothing while it waits for an answer: input now is its end.
    try:
        return requests.recv(1, socket.MSG_PEEK | socket.MSG_DONTWAIT) == b""
    except BlockingIOError:
        return False
    except OSError:
        return True


def connect(pipe, seconds):
    deadline = time.monotonic() + float(seconds)
    while not program_gone():
        try:
            desktop_at(pipe)
            return answer("ok")
        except Exception as error:
            if time.monotonic() >= deadline:
                return answer("error", one_line(error))
            time.sleep(0.05)


def convert(pipe, source, in_filter, target, out_filter):
    # The load and store arguments of a conversion on LibreOffice's command line.
    load = [prop("Referer", "private:OpenEvent"), prop("ReadOnly", True), prop("OpenNewView", True),
            prop("Hidden", True), prop("Silent", True)]
    if in_filter != "-":
        load.append(prop("FilterName", in_filter))
    store = (prop("ConversionRequestOrigin", "CommandLine"), prop("Overwrite", True), prop("FilterName", out_filter))
    try:
        desktop = desktop_at(pipe)
    except Exception as error:
        return answer("lost", one_line(error))
    document = None
    try:
        try:
            document = desktop.loadComponentFromURL(source, "_blank", 0, tuple(load))
        except DisposedException:
            raise
        except Exception as error:
            return answer("failed", "Error: source file could not be loaded (%s)" % one_line(error))
        if document is None:
            return answer("failed", "Error: source file could not be loaded")
        try:
            document.storeToURL(target, store)
        except DisposedException:
            raise
        except Exception as error:
            return answer("failed", "Error: Please verify input parameters... (%s)" % one_line(error))
        answer("ok")
    except DisposedException as error:
        offices.pop(pipe, None)
        document = None
        answer("lost", one_line(error))
    finally:
        if document is not None:
            try:
                document.close(True)
            except Exception:
                pass


def ipc_socket(profile_url):
    # The office names its single-instance socket after the MD5 of its profile
    # URL in UTF-16, each byte in hex without leading zero.
    digest = hashlib.md5(profile_url.encode("utf-16-le")).digest()
    folder = "/tmp" if os.access("/tmp", os.W_OK) else "/var/tmp"
    answer("ok", "%s/OSL_PIPE_%d_SingleOfficeIPC_%s" % (folder, os.getuid(), "".join("%x" % b for b in digest)))


def stop(pipe):
    global guard
    guard = None
    try:
        desktop_at(pipe).terminate()
    except Exception:
        pass  # the office ends while it answers
    offices.pop(pipe, None)
    answer("ok")


def path_of(url):
    return os.fsdecode(urllib.parse.unquote_to_bytes(url[len("file://"):]))


def still_the_office(group, profile_url):
    try:
        with open("/proc/%d/cmdline" % group, "rb") as f:
            return ("-env:UserInstallation=" + profile_url).encode() in f.read().split(b"\0")
    except OSError:
        return False


def end_guarded_office():
    # An office that has already ended is cleaned up by the next program that
    # finds its record.
    group, profile_url, files = guard
    if not still_the_office(group, profile_url):
        return
    os.killpg(group, signal.SIGKILL)
    for _ in range(100):  # its files are removed once it has gone
        if not still_the_office(group, profile_url):
            break
        time.sleep(0.02)
    for name in map(path_of, files):
        try:
            shutil.rmtree(name) if os.path.isdir(name) and not os.path.islink(name) else os.unlink(name)
        except OSError:
            pass


def handle(request, args):
    global guard
    if request == "connect":
        connect(*args)
    elif request == "convert":
        convert(*args)
    elif request == "ipc-socket":
        ipc_socket(*args)
    elif request == "guard":
        guard = (int(args[0]), args[1], args[2:])
        answer("ok")
    elif request == "stop":
        stop(*args)
    else:
        answer("error", "unknown request " + request)


requests = socket.socket(fileno=os.dup(0))
os.dup2(os.open(os.devnull, os.O_WRONLY), 2)  # warnings must not come between the answers
try:
    answer("ready")
    for line in sys.stdin:
        fields = line.rstrip("\n").split("\t")
        handle(fields[0], fields[1:])
except OSError:
    pass  # the program went away while it was answered
if guard is not None:
    end_guarded_office()
os._exit(0)

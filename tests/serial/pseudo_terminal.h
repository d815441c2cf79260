#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair for serial tests: the test holds the master end, the serial
// control opens the terminal end by its path (or by a symbolic link to it).
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isValid() const { return master_ >= 0; }
    QString terminalPath() const { return path_; }

    // Bytes the other side wrote, waiting at most timeoutMs for the first of them and
    // then taking whatever follows within a short pause.
    QByteArray readAvailable(int timeoutMs);
    void write(const QByteArray& bytes);
    // The output speed the other side set on the terminal, in baud (0 if unknown).
    int terminalSpeed() const;
    // Closes the master end, as a pulled adapter would.
    void close();

private:
    int master_ = -1;
    QString path_;
};

#include "foundation/Exceptions.h"

#include <new>

QString ErrorText(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.message();
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Недостаточно памяти. Закройте другие программы и повторите.");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Неизвестная ошибка.");
    }
}

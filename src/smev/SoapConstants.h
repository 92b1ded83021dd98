#pragma once

#include <QLatin1StringView>

// Namespace and algorithm URIs written into outgoing messages. The standard ones are the published
// values; a receiver compares them character for character, so they are never built at run time.

inline constexpr QLatin1StringView SOAP11_ENV_NS{"http://schemas.xmlsoap.org/soap/envelope/"};
inline constexpr QLatin1StringView WSU_NS{
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd"};
inline constexpr QLatin1StringView WSSE_NS{
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd"};
inline constexpr QLatin1StringView WSS_BASE64_URI{
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-soap-message-security-1.0#Base64Binary"};
inline constexpr QLatin1StringView WSS_X509V3_URI{
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-x509-token-profile-1.0#X509v3"};

inline constexpr QLatin1StringView XMLDSIG_NS{"http://www.w3.org/2000/09/xmldsig#"};
inline constexpr QLatin1StringView EXC_C14N_URI{"http://www.w3.org/2001/10/xml-exc-c14n#"};
inline constexpr QLatin1StringView ENVELOPED_SIGNATURE_URI{
    "http://www.w3.org/2000/09/xmldsig#enveloped-signature"};
inline constexpr QLatin1StringView GOST3411_DIGEST_URI{"http://www.w3.org/2001/04/xmldsig-more#gostr3411"};
inline constexpr QLatin1StringView GOST3410_SIGNATURE_URI{
    "http://www.w3.org/2001/04/xmldsig-more#gostr34102001-gostr3411"};
// The CryptoPro names of GOST R 34.11-2012 and GOST R 34.10-2012 for keys of 256 and 512 bits.
inline constexpr QLatin1StringView GOST2012_256_DIGEST_URI{
    "urn:ietf:params:xml:ns:cpxmlsec:algorithms:gostr34112012-256"};
inline constexpr QLatin1StringView GOST2012_256_SIGNATURE_URI{
    "urn:ietf:params:xml:ns:cpxmlsec:algorithms:gostr34102012-gostr34112012-256"};
inline constexpr QLatin1StringView GOST2012_512_DIGEST_URI{
    "urn:ietf:params:xml:ns:cpxmlsec:algorithms:gostr34112012-512"};
inline constexpr QLatin1StringView GOST2012_512_SIGNATURE_URI{
    "urn:ietf:params:xml:ns:cpxmlsec:algorithms:gostr34102012-gostr34112012-512"};
inline constexpr QLatin1StringView XADES_111_NS{"http://uri.etsi.org/01903/v1.1.1#"};

// The state systems.
inline constexpr QLatin1StringView SMEV_REV_NS{"http://smev.gosuslugi.ru/rev120315"};
inline constexpr QLatin1StringView SMEV_ACTOR_URI{"http://smev.gosuslugi.ru/actors/smev"};
// Followed by a leaf name such as "PaymentInfo".
inline constexpr QLatin1StringView GISGMP_XSD_NS{"http://roskazna.ru/gisgmp/xsd/116/"};
inline constexpr QLatin1StringView GISGMP_SERVICE_NS{"http://roskazna.ru/gisgmp/02000000/SmevGISGMPService/"};
